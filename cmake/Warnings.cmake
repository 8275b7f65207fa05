# Warnings are errors everywhere in our own code.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
                    -Wcast-align -Wimplicit-fallthrough -Werror)
if(TALLYHIVE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
# GCC 12 reports impossible overlaps in std::string's operator+ when it inlines it at -O2 and above
# (GCC bug 105329, fixed in 13): a false alarm in the standard library, not in our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
