# The 29 WMA encoding profile documents, carried by a program as resources of type "PRX"
# under their resource names; the WMA writer finds them in the program that loads it.
# Extra arguments (SYMBOL name) go to dravik_add_resources.
function(dravik_add_profile_resources target)
  dravik_add_resources(${target} ${ARGN}
    PRX lossless ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/lossless.prx
    PRX a320 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a320.prx
    PRX a256 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a256.prx
    PRX a192 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a192.prx
    PRX a160 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a160.prx
    PRX a128 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a128.prx
    PRX a96 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a96.prx
    PRX a80 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a80.prx
    PRX a64 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a64.prx
    PRX a48 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a48.prx
    PRX a48mono ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a48mono.prx
    PRX a32 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a32.prx
    PRX a32mono ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a32mono.prx
    PRX a20 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a20.prx
    PRX a20mono ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a20mono.prx
    PRX a20voice ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a20voice.prx
    PRX a16 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a16.prx
    PRX a16mono ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a16mono.prx
    PRX a16voice ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a16voice.prx
    PRX a12 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a12.prx
    PRX a12mono ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a12mono.prx
    PRX a12voice ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a12voice.prx
    PRX a10mono ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a10mono.prx
    PRX a10voice ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a10voice.prx
    PRX a8mono ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a8mono.prx
    PRX a8voice ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a8voice.prx
    PRX a5mono ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a5mono.prx
    PRX a5voice ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a5voice.prx
    PRX a4voice ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/a4voice.prx
  )
endfunction()
