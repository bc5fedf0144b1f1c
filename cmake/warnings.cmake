# Warnings are errors on our own code. Call tf_strict(target) for every target
# built from this repository's sources.
function(tf_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
