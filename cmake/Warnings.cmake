# SPDX-License-Identifier: MIT
# Warnings everywhere; errors when WD_WERROR is on (CI turns it on).
add_compile_options(-Wall -Wextra -Wpedantic)
if(WD_WERROR)
  add_compile_options(-Werror)
endif()

if(WD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
