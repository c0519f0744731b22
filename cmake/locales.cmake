# The locales the pattern tests, the fuzz target and the benchmarks run in,
# compiled from glibc's locale sources (Debian's locales package) into
# build/locales and used through LOCPATH, so that nothing the machine or the
# user has set changes. Without localedef or the sources nothing is made,
# and the tests that need these locales skip (or fail where they are
# required, as in scripts/run-tests).
set(KUV_LOCALE_DIR "${PROJECT_BINARY_DIR}/locales")
set(KUV_LOCALES en_US.UTF-8 de_DE.UTF-8 cs_CZ.UTF-8 tr_TR.UTF-8 sv_SE.UTF-8 hu_HU.UTF-8
                de_DE.ISO-8859-1)
find_program(KUV_LOCALEDEF localedef)
set(KUV_LOCALE_SOURCES "/usr/share/i18n/locales")
if(KUV_LOCALEDEF AND EXISTS "${KUV_LOCALE_SOURCES}/en_US")
  set(KUV_LOCALE_OUTPUTS)
  foreach(locale ${KUV_LOCALES})
    string(REGEX REPLACE "\\..*$" "" source "${locale}")
    string(REGEX REPLACE "^[^.]*\\." "" charmap "${locale}")
    set(output "${KUV_LOCALE_DIR}/${locale}/LC_COLLATE")
    # localedef writes a folder of its own wherever its last argument holds
    # a slash; it never touches the system's locale archive then.
    add_custom_command(OUTPUT "${output}"
                       COMMAND ${CMAKE_COMMAND} -E make_directory "${KUV_LOCALE_DIR}"
                       COMMAND ${KUV_LOCALEDEF} -i ${source} -f ${charmap}
                               "${KUV_LOCALE_DIR}/${locale}"
                       DEPENDS "${KUV_LOCALE_SOURCES}/${source}"
                       COMMENT "Compiling the locale ${locale}"
                       VERBATIM)
    list(APPEND KUV_LOCALE_OUTPUTS "${output}")
  endforeach()
  add_custom_target(locales ALL DEPENDS ${KUV_LOCALE_OUTPUTS})
else()
  message(STATUS "localedef or glibc's locale sources are missing: no test locales are made "
                 "(apt-get install locales)")
endif()
