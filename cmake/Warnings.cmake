# Our own code is kept free of warnings; the presets and CI make them errors. A user's newer
# compiler may warn about things ours does not, so the plain build does not stop on them.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
                    -Wcast-align -Wimplicit-fallthrough)
if(TALLYHIVE_WARNINGS_AS_ERRORS)
  add_compile_options(-Werror)
endif()
if(TALLYHIVE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
# GCC 12 reports impossible overlaps in std::string's operator+ when it inlines it at -O2 and above
# (GCC bug 105329, fixed in 13): a false alarm in the standard library, not in our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
