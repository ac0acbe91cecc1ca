/* Compiles only if ombrel/ombrelscan.h is C89. */
#include <ombrel/ombrelscan.h>

int ombrel_header_is_c89(void);

int ombrel_header_is_c89(void)
{
    return OMBREL_SCAN_ABI_VERSION;
}
