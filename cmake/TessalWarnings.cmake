# -Wall -Wextra on our own targets only; third-party headers come in as system includes.
option(TESSAL_WERROR "Treat warnings in our own code as errors" OFF)
function(tessal_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TESSAL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
