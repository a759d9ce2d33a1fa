# The Windows build (cross-compiled with cmake/mingw-w64.cmake): SDL2 and FreeType are the static
# libraries tools/build_deps.sh installs into VARNIS_DEPS_PREFIX; faces are found beside the program,
# so there is no fontconfig. The program is one static executable for the GUI subsystem.
set(VARNIS_DEPS_PREFIX "" CACHE PATH "Where tools/build_deps.sh installed SDL2 and FreeType")
set(VARNIS_SDL2_LIB ${VARNIS_DEPS_PREFIX}/lib/libSDL2.a)
set(VARNIS_FREETYPE_LIB ${VARNIS_DEPS_PREFIX}/lib/libfreetype.a)
if(NOT EXISTS ${VARNIS_SDL2_LIB} OR NOT EXISTS ${VARNIS_FREETYPE_LIB})
  message(FATAL_ERROR "No SDL2 and FreeType in VARNIS_DEPS_PREFIX='${VARNIS_DEPS_PREFIX}' "
                      "(tools/build_deps.sh cmake/mingw-w64.cmake DIR libsdl2-dev libfreetype-dev prints the prefix)")
endif()

# The same target names the desktop build gets from pkg-config.
add_library(PkgConfig::SDL2 INTERFACE IMPORTED)
target_include_directories(PkgConfig::SDL2 INTERFACE ${VARNIS_DEPS_PREFIX}/include/SDL2)
target_compile_definitions(PkgConfig::SDL2 INTERFACE SDL_MAIN_HANDLED)
target_link_libraries(PkgConfig::SDL2 INTERFACE ${VARNIS_SDL2_LIB} user32 gdi32 winmm imm32 ole32
  oleaut32 version uuid advapi32 setupapi shell32 dinput8)
add_library(PkgConfig::FREETYPE INTERFACE IMPORTED)
target_include_directories(PkgConfig::FREETYPE INTERFACE ${VARNIS_DEPS_PREFIX}/include/freetype2)
target_link_libraries(PkgConfig::FREETYPE INTERFACE ${VARNIS_FREETYPE_LIB})
# zlib is Debian's libz-mingw-w64-dev, in the mingw sysroot: its static library, so no DLL.
find_library(VARNIS_ZLIB_LIB NAMES libz.a REQUIRED)
find_path(VARNIS_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(PkgConfig::ZLIB INTERFACE IMPORTED)
target_include_directories(PkgConfig::ZLIB INTERFACE ${VARNIS_ZLIB_INCLUDE})
target_link_libraries(PkgConfig::ZLIB INTERFACE ${VARNIS_ZLIB_LIB})
add_library(PkgConfig::FONTCONFIG INTERFACE IMPORTED)
target_link_libraries(PkgConfig::FONTCONFIG INTERFACE psapi)

# Unicode Windows calls; no min/max macros. access() through mingw's wrapper: since Vista the
# system's C runtime refuses X_OK outright, which would make every folder look unwritable.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX __USE_MINGW_ACCESS)
# No DLLs beside the program: the C and C++ runtimes and winpthread are linked in.
add_link_options(-static -static-libgcc -static-libstdc++)

# The program: GUI subsystem (no console window of its own), with its manifest.
function(varnis_windows_program target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src/app/varnis.rc)
  target_link_options(${target} PRIVATE -mwindows)
endfunction()

# Network play: Boost.Beast and Asio are header-only, from the build machine's libboost-dev. mingw
# must not see /usr/include itself (glibc's headers would shadow its own), so the include path is a
# folder holding nothing but a link to /usr/include/boost. The target has the name find_package
# gives it elsewhere; find_package(Boost) then only checks the version. Asio needs Winsock 2 and
# AcceptEx (mswsock), and names the oldest Windows it targets: 7, as SDL2 does.
set(VARNIS_BOOST_ROOT ${CMAKE_BINARY_DIR}/boost-include)
file(MAKE_DIRECTORY ${VARNIS_BOOST_ROOT})
if(NOT EXISTS ${VARNIS_BOOST_ROOT}/boost)
  file(CREATE_LINK /usr/include/boost ${VARNIS_BOOST_ROOT}/boost SYMBOLIC)
endif()
set(Boost_INCLUDE_DIR ${VARNIS_BOOST_ROOT} CACHE PATH "The Boost headers, alone in their folder")
set(Boost_NO_BOOST_CMAKE ON)
add_library(Boost::headers INTERFACE IMPORTED)
target_include_directories(Boost::headers INTERFACE ${VARNIS_BOOST_ROOT})
target_compile_definitions(Boost::headers INTERFACE _WIN32_WINNT=0x0601)
target_link_libraries(Boost::headers INTERFACE ws2_32 mswsock)
