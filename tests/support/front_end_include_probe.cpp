// Built as a file of the window would be: a subsystem's header is not to be found there.
#include "storage/profiles.h"
