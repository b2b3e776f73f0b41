// NSS reached through /usr/include rather than its own folder: still only for platform/.
#include <nss/secerr.h>
