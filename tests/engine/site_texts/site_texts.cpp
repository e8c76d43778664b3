// Compiled by the site_text tests, never linked: retry texts that do not fit
// their step must be refused by the compiler, and texts that fit accepted.
#include "engine/retry.h"

#if defined(OTHER_CONVERSION)
const RetryTexts<1> texts = {"reading %s.", "Retries exceeded reading %s at %d.\n"};
#elif defined(PATH_MISSING)
const RetryTexts<2> texts = {"copying %s to %s.", "Retries exceeded copying %s.\n"};
#elif defined(LONE_PERCENT)
const RetryTexts<0> texts = {"filling the disk.", "Retries exceeded at 100%"};
#else
const RetryTexts<2> texts = {"copying %s to %s.", "Retries exceeded copying %s to %s, 100%% done.\n"};
#endif
