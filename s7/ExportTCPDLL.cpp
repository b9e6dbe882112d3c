// The plug-in's one exported entry point: the host calls it once per configured device.
#include "korvane.h"

extern "C" __attribute__((visibility("default"))) CDriveBaseClass *getSharedLibrary()
{
    return new Korvane;
}
