// The platform's own adapter may include the system's headers.
#include <fcntl.h>
