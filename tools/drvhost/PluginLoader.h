// Loads a driver plug-in file the way a host runtime does: dlopen through QLibrary, the factory
// resolved by its C name, the driver used only through CDriveBaseClass.
#ifndef PLUGINLOADER_H
#define PLUGINLOADER_H

#include <QLibrary>
#include <QString>

#include "CDriveBaseClass.h"

class PluginLoader
{
public:
    explicit PluginLoader(const QString &fileName);
    ~PluginLoader();
    PluginLoader(const PluginLoader &) = delete;
    PluginLoader &operator=(const PluginLoader &) = delete;

    bool load();
    QString errorString() const { return error; }
    // A new driver instance, owned by the caller (release it with destroyDriver).
    CDriveBaseClass *createDriver();
    // The interface has no virtual destructor: a driver is deleted through its QObject part.
    static void destroyDriver(CDriveBaseClass *driver);

private:
    QLibrary library;
    GetSharedLibraryFn factory = nullptr;
    QString error;
};

#endif // PLUGINLOADER_H
