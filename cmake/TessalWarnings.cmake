# -Wall -Wextra on our own targets only; third-party headers come in as system includes.
function(tessal_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
