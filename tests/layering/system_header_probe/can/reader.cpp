// A module file that reaches the system itself: the check must refuse it.
#include "can/log_input.h"
#include <unistd.h>
