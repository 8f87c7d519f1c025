# cmake -DSCDOC=... -DINPUT=page.scd -DOUTPUT=page -P RunScdoc.cmake
# scdoc reads standard input and writes standard output; the page is written
# beside its final name first, so that a failed run leaves no half page.
get_filename_component(_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${_dir})
execute_process(COMMAND ${SCDOC} INPUT_FILE ${INPUT} OUTPUT_FILE ${OUTPUT}.tmp
                ERROR_VARIABLE _err RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "scdoc failed on ${INPUT}: ${_err}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
