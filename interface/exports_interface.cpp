// Entry points of the library interface and common services.
#include "TesselBasicLib.h"
