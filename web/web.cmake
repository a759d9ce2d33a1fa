# The WebAssembly build (emcmake cmake -S . -B build-web/cmake ...; tools/build_web.sh drives it).
# The same sources as the desktop program but for the SDL back end: the browser back end in
# src/platform/web, FreeType and zlib built from Debian's sources (VARNIS_WEB_DEPS, tools/build_deps.sh), and
# the data files of a native build with the cut-down face (VARNIS_WEB_DATA). Two programs:
#   varnis.js       the page's module (varnis.wasm, varnis.data beside it)
#   varnis-node.js  one file for node, reading and writing the real file system: the headless
#                   runner, to compare with the native build's
set(VARNIS_WEB_DEPS "" CACHE PATH "Prefix holding FreeType and zlib built for the web")
set(VARNIS_WEB_DATA "" CACHE PATH "Folder holding title.bmp, char.bmp, shoot.wav, bomb.wav and the face")
set(VARNIS_WEB_FONT "varnis-pmincho.ttf")

file(GLOB_RECURSE web_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
# Of the SDL back end only its SDL-free presentation arithmetic.
list(FILTER web_sources EXCLUDE REGEX "/src/platform/sdl/|_win32\\.cpp$")
list(APPEND web_sources ${CMAKE_SOURCE_DIR}/src/platform/sdl/present.cpp)
list(REMOVE_ITEM web_sources ${CMAKE_SOURCE_DIR}/src/app/main.cpp)
add_library(varnis_web_core STATIC ${web_sources})
target_include_directories(varnis_web_core PUBLIC ${CMAKE_SOURCE_DIR}/src
  ${VARNIS_WEB_DEPS}/include/freetype2 ${VARNIS_WEB_DEPS}/include)
target_compile_definitions(varnis_web_core PRIVATE VARNIS_VERSION="${PROJECT_VERSION}"
  VARNIS_DATADIR="/" VARNIS_FONT_FILE="${VARNIS_WEB_FONT}")
target_link_libraries(varnis_web_core PUBLIC ${VARNIS_WEB_DEPS}/lib/libfreetype.a ${VARNIS_WEB_DEPS}/lib/libz.a)

set(web_link -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1
  -sEXPORTED_RUNTIME_METHODS=[UTF8ToString])
set(web_data title.bmp char.bmp shoot.wav bomb.wav ${VARNIS_WEB_FONT})
set(web_preload)
set(web_data_paths)
foreach(f ${web_data})
  list(APPEND web_preload "SHELL:--preload-file ${VARNIS_WEB_DATA}/${f}@/${f}")
  list(APPEND web_data_paths ${VARNIS_WEB_DATA}/${f})
endforeach()

add_executable(varnis src/app/main.cpp)
target_compile_definitions(varnis PRIVATE VARNIS_VERSION="${PROJECT_VERSION}")
target_link_libraries(varnis PRIVATE varnis_web_core)
target_link_options(varnis PRIVATE ${web_link} -sENVIRONMENT=web -sINVOKE_RUN=1 ${web_preload})
set_target_properties(varnis PROPERTIES SUFFIX ".js" LINK_DEPENDS "${web_data_paths}")

add_executable(varnis-node src/app/main.cpp)
target_compile_definitions(varnis-node PRIVATE VARNIS_VERSION="${PROJECT_VERSION}")
target_link_libraries(varnis-node PRIVATE varnis_web_core)
target_link_options(varnis-node PRIVATE ${web_link} -sENVIRONMENT=node -sNODERAWFS=1 -sSINGLE_FILE=1)
set_target_properties(varnis-node PROPERTIES SUFFIX ".js")
