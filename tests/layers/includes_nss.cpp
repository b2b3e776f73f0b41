// Compiles only where NSS is allowed.
#include <cert.h>
