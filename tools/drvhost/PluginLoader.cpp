#include "PluginLoader.h"

#include <QObject>

PluginLoader::PluginLoader(const QString &fileName)
    : library(fileName)
{
}

// The library stays loaded for the life of the process: Qt objects of a driver (meta-objects,
// type registrations) must not outlive their code.
PluginLoader::~PluginLoader() = default;

bool PluginLoader::load()
{
    if (!library.load()) {
        error = library.errorString();
        return false;
    }
    factory = reinterpret_cast<GetSharedLibraryFn>(library.resolve("getSharedLibrary"));
    if (!factory) {
        error = QStringLiteral("%1 exports no getSharedLibrary").arg(library.fileName());
        return false;
    }
    return true;
}

CDriveBaseClass *PluginLoader::createDriver()
{
    return factory ? factory() : nullptr;
}

void PluginLoader::destroyDriver(CDriveBaseClass *driver)
{
    delete dynamic_cast<QObject *>(driver);
}
