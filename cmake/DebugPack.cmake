# vd_pack_debug_data(<target> [PASSWORD <text>]): after each link of the target, packs its routines and
# line tables into the reporter's debug data and appends them to the file (tools/debugpack).
function(vd_pack_debug_data target)
  cmake_parse_arguments(VDP "" "PASSWORD" "" ${ARGN})
  set(_args)
  if(VDP_PASSWORD)
    list(APPEND _args --password ${VDP_PASSWORD})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND $<TARGET_FILE:debugpack> ${_args} $<TARGET_FILE:${target}>
    COMMENT "Packing the debug data of ${target}"
    VERBATIM)
  add_dependencies(${target} debugpack)
endfunction()
