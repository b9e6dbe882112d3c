// The plug-in's one export: each call creates an independent PPI driver that the host owns.
#include "CDriveBaseClass.h"
#include "pellimor.h"

extern "C" Q_DECL_EXPORT CDriveBaseClass *getSharedLibrary()
{
    return new Pellimor;
}
