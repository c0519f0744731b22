# Installs the build into a folder of its own (DESTDIR) and checks that the
# installed yum layer is byte-compiled for the program's interpreter: the
# interpreter must load base.py from its cached code, not compile it again.
#   cmake -DBUILD=... -DDEST=... -DSHARE=... -DPYTHON=... -P installtest.cmake
file(REMOVE_RECURSE "${DEST}")
set(ENV{DESTDIR} "${DEST}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
set(ENV{PYTHONDONTWRITEBYTECODE} 1)
execute_process(COMMAND "${PYTHON}" -v -c "import yum.base"
                WORKING_DIRECTORY "${DEST}${SHARE}/python"
                RESULT_VARIABLE imported OUTPUT_QUIET ERROR_VARIABLE verbose)
if(NOT imported EQUAL 0)
  message(FATAL_ERROR "the installed yum layer does not import:\n${verbose}")
endif()
string(REGEX MATCH "code object from '[^']*/yum/__pycache__/base\\.[^']*\\.pyc'" cached "${verbose}")
if(NOT cached)
  message(FATAL_ERROR "yum/base.py was compiled at import instead of loaded from its cache")
endif()
