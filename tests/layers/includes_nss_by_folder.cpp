// NSS reached through /usr/include rather than its own folder: still only for nss/ and cms/.
#include <nss/secerr.h>
