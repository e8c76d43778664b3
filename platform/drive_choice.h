// Whether someone chose the drives that /a and /c run over. On Linux that is
// the drive map the operator sets: without it they would run over every
// mounted filesystem, other users' included. On Windows the drive letters
// are the machine's own, as its operator set them up.
#pragma once

#include "platform/win32.h"

BOOL drives_named_by_operator();
