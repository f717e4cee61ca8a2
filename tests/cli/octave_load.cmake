# Writes a waveform record and a whole run with `tern`, then checks in Octave
# that `load` gives the right names, classes and shapes.
set(params_mat ${WORK}/octave_params.mat)
set(run_mat ${WORK}/octave_run.mat)
execute_process(COMMAND ${TERN} params --mode long --constraint-length 9 --save ${params_mat}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tern params --save failed: ${status}")
endif()
execute_process(COMMAND ${TERN} run --mode ultrashort --save ${run_mat} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tern run --save failed: ${status}")
endif()
get_filename_component(script_dir ${SCRIPT} DIRECTORY)
execute_process(COMMAND ${OCTAVE} --no-gui --quiet --norc --path ${script_dir}
                        --eval "check_saved_records('${params_mat}', '${run_mat}')"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "Octave found the saved records wrong")
endif()
