// The stb image reader and writer, compiled into plughost where no stb library is at hand (the
// Windows build; Linux links Debian's libstb). Third-party code: CMake compiles this file with
// its warnings off.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>
