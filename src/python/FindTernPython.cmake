# Looks for what the Python module needs: a Python 3 interpreter whose numpy
# imports, its development files, and pybind11's CMake package. Sets
# TERN_PYTHON_FOUND. Without them the module is skipped with a note.
#
# Of the interpreters on the path (python3, then the system's
# /usr/bin/python3) the first that imports numpy is taken, unless
# Python3_EXECUTABLE is given; a shim of a version manager without numpy is
# passed over that way.
set(TERN_PYTHON_FOUND FALSE)
if(NOT DEFINED Python3_EXECUTABLE)
  find_program(tern_path_python NAMES python3 NO_CACHE)
  foreach(candidate ${tern_path_python} /usr/bin/python3)
    if(EXISTS "${candidate}")
      execute_process(COMMAND "${candidate}" -c "import numpy" RESULT_VARIABLE numpy_missing
                      OUTPUT_QUIET ERROR_QUIET)
      if(numpy_missing EQUAL 0)
        set(Python3_EXECUTABLE "${candidate}" CACHE FILEPATH "Python interpreter of the tern module")
        break()
      endif()
    endif()
  endforeach()
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module NumPy)
if(NOT Python3_FOUND)
  message(STATUS "python module: not built (Python 3 with numpy and its development files not found; "
                 "install python3-dev python3-numpy)")
  return()
endif()
find_package(pybind11 CONFIG QUIET)
if(NOT pybind11_FOUND)
  message(STATUS "python module: not built (pybind11 not found; install pybind11-dev)")
  return()
endif()
set(TERN_PYTHON_FOUND TRUE)
message(STATUS "python module: Python ${Python3_VERSION} at ${Python3_EXECUTABLE}, pybind11 ${pybind11_VERSION}")
