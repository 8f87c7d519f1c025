# The layers of src/, checked from the sources: each folder may include only
# itself and the folders listed for it. Run as
#   cmake -DSOURCE_DIR=<src> -P cmake/CheckLayers.cmake
# It fails naming every include that reaches a folder not allowed, and every
# folder that has no rule yet (a new folder must be placed here and in the
# README's map).
#
#   app -> dialogs -> widgets -> phone -> builders -> platform
#   pdu reads what builders make and never includes them; record keeps what
#   phone reports; gateway hands messages to SMS gateways beside the phone link;
#   cli is the command line over the core; dropfile is the drop
#   target, beside the widgets and needing none of them.
#   app/pages, the main window's page objects, include no form header and never
#   app/Main.h: the window hands each page its controls.
cmake_minimum_required(VERSION 3.25)

set(allowed_platform platform)
set(allowed_builders builders platform)
set(allowed_pdu      pdu)
set(allowed_phone    phone builders platform)
set(allowed_record   record phone pdu builders platform)
set(allowed_gateway  gateway phone pdu builders platform)
set(allowed_cli      cli gateway record phone pdu builders platform)
set(allowed_dropfile dropfile platform)
set(allowed_widgets  widgets record phone pdu builders platform)
set(allowed_dialogs  dialogs widgets gateway record phone pdu builders platform)
set(allowed_app      app dialogs dropfile widgets gateway record phone pdu builders platform)

get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
if(NOT IS_DIRECTORY "${SOURCE_DIR}")
  message(FATAL_ERROR "CheckLayers: give -DSOURCE_DIR=<the src folder>")
endif()

set(problems "")
set(checked "")
file(GLOB folders LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/${folder}")
    continue()
  endif()
  if(NOT DEFINED allowed_${folder})
    string(APPEND problems "  ${folder}/ has no rule in cmake/CheckLayers.cmake\n")
    continue()
  endif()
  list(APPEND checked ${folder})
  file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp"
       "${SOURCE_DIR}/${folder}/*.in" "${SOURCE_DIR}/${folder}/*.ui")
  foreach(file IN LISTS files)
    # The pages of the main window stand alone: a page gets its controls from
    # the window and never reaches for the form or the window itself.
    if(file MATCHES "^app/pages/")
      file(STRINGS "${SOURCE_DIR}/${file}" own REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](ui_[A-Za-z]+\\.h|app/Main\\.h)[\">]")
      foreach(line IN LISTS own)
        string(APPEND problems "  ${file}: ${line} (a page is handed its controls)\n")
      endforeach()
    endif()
    # #include lines, and the headers a form names for its own controls.
    file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "^[ \t]*(#[ \t]*include[ \t]*[\"<]|<header>)[a-z]+/")
    foreach(line IN LISTS lines)
      string(REGEX MATCH "(include[ \t]*[\"<]|<header>)([a-z]+)/" _ "${line}")
      set(target "${CMAKE_MATCH_2}")
      # Only the project's own folders matter (<sys/stat.h> and the like do not).
      if(NOT IS_DIRECTORY "${SOURCE_DIR}/${target}")
        continue()
      endif()
      if(NOT target IN_LIST allowed_${folder})
        string(APPEND problems "  ${file} includes ${target}/ (${folder}/ may include: ${allowed_${folder}})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "Includes against the layers:\n${problems}")
endif()
message(STATUS "Layers kept: ${checked}")
