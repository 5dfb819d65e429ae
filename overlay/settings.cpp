// Settings file: to be written.
#include "overlay/settings.h"
