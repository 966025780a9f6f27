# vd_add_catalogues(<target> SOURCE_DIR <dir> OUTPUT_DIR <dir>)
# Compiles every <SOURCE_DIR>/<domain>/<lang>.po into <OUTPUT_DIR>/<lang>/LC_MESSAGES/<domain>.mo, the
# layout gettext reads, in a target <target> that is part of the default build.
find_program(VD_MSGFMT msgfmt REQUIRED)

function(vd_add_catalogues target)
  cmake_parse_arguments(VC "" "SOURCE_DIR;OUTPUT_DIR" "" ${ARGN})
  file(GLOB _po_files CONFIGURE_DEPENDS ${VC_SOURCE_DIR}/*/*.po)
  set(_mo_files)
  foreach(_po ${_po_files})
    get_filename_component(_lang ${_po} NAME_WE)
    get_filename_component(_domain_dir ${_po} DIRECTORY)
    get_filename_component(_domain ${_domain_dir} NAME)
    set(_mo_dir ${VC_OUTPUT_DIR}/${_lang}/LC_MESSAGES)
    add_custom_command(OUTPUT ${_mo_dir}/${_domain}.mo
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_mo_dir}
      COMMAND ${VD_MSGFMT} --check -o ${_mo_dir}/${_domain}.mo ${_po}
      DEPENDS ${_po}
      COMMENT "Message catalogue ${_lang}/${_domain}.mo"
      VERBATIM)
    list(APPEND _mo_files ${_mo_dir}/${_domain}.mo)
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${_mo_files})
endfunction()
