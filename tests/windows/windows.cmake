# The Windows build, cross-compiled with mingw-w64 and run under wine, against the desktop build.
# Registered where both are installed (dev.sh installs them), in the plain build only: the
# sanitizers have nothing to say about a program wine runs.
find_program(VARNIS_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(VARNIS_WINE wine)
if(VARNIS_MINGW_CXX AND VARNIS_WINE AND NOT VARNIS_SANITIZE)
  set(VARNIS_WIN_OUT ${CMAKE_BINARY_DIR}/windows)
  set(VARNIS_WIN_PACKAGE ${VARNIS_WIN_OUT}/varnis-${PROJECT_VERSION}-win64)
  # Wine keeps its server's folder in the temporary folder for good: here, in the build's.
  set(VARNIS_WINE_ENV "WINEPREFIX=${CMAKE_BINARY_DIR}/wine;WINEDEBUG=-all;TMPDIR=${VARNIS_WIN_OUT}")
  # Builds (or brings up to date) the program and its folder, and a private wine prefix.
  add_test(NAME windows_build
    COMMAND bash -c "'${CMAKE_SOURCE_DIR}/tools/build_windows.sh' '${CMAKE_BINARY_DIR}' '${VARNIS_WIN_OUT}' && wineboot -i && wineserver -w")
  set_tests_properties(windows_build PROPERTIES FIXTURES_SETUP windows TIMEOUT 3600
    ENVIRONMENT "${VARNIS_WINE_ENV}")
  add_test(NAME windows_scenarios
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/scenarios.sh $<TARGET_FILE:varnis>
            ${VARNIS_WIN_PACKAGE} ${CMAKE_BINARY_DIR})
  set_tests_properties(windows_scenarios PROPERTIES FIXTURES_REQUIRED windows TIMEOUT 900
    ENVIRONMENT "${VARNIS_WINE_ENV}")
  # Network play between the two builds, under wine: varnis.exe hosts this program, then joins it.
  # Real sockets and real time, so alone like the other network test (which found Python).
  if(TARGET varnis_backend_net AND Python3_EXECUTABLE)
    add_test(NAME windows_net
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/net/net_test.py $<TARGET_FILE:varnis>
              ${CMAKE_BINARY_DIR} ${VARNIS_WIN_PACKAGE}/varnis.exe)
    set_tests_properties(windows_net PROPERTIES FIXTURES_REQUIRED windows TIMEOUT 300
      RUN_SERIAL TRUE RESOURCE_LOCK realtime ENVIRONMENT "${VARNIS_WINE_ENV}")
  endif()
  if(TARGET mini_wm)
    add_test(NAME windows_real_window
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/real_window.sh ${VARNIS_WIN_PACKAGE}
              $<TARGET_FILE:mini_wm>)
    set_tests_properties(windows_real_window PROPERTIES FIXTURES_REQUIRED windows TIMEOUT 600
      RUN_SERIAL TRUE ENVIRONMENT "${VARNIS_WINE_ENV}")
  endif()
else()
  message(STATUS "Windows tests skipped: need mingw-w64 (posix threads) and wine, and no sanitizers")
endif()
