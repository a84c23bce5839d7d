// Built for i686 only to make the compiler check the 32-bit record layout.
#include "zip32.h"
