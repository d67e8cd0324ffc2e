// Embeds the resource files that the build generates (HV_RESOURCE_103_PATH, a
// BMP) into the program's read-only data, between begin and end symbols.
#define HV_STRINGIFY2(x) #x
#define HV_STRINGIFY(x) HV_STRINGIFY2(x)

__asm__(
    ".section .rodata\n"
    ".balign 16\n"
    ".global hv_resource_103_begin\n"
    "hv_resource_103_begin:\n"
    ".incbin \"" HV_STRINGIFY(HV_RESOURCE_103_PATH) "\"\n"
    ".global hv_resource_103_end\n"
    "hv_resource_103_end:\n"
    ".byte 0\n"
    ".previous\n");
