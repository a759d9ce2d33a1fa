# The WebAssembly build (emcmake cmake -S . -B build-web/cmake ...; tools/build_web.sh drives it).
# The same libraries as the desktop program, with the browser back end (src/backends/web) in place
# of SDL's, FreeType built from Debian's source (VARNIS_WEB_DEPS, tools/build_deps.sh), and the
# data files of a native build with the cut-down face (VARNIS_WEB_DATA). Two programs:
#   varnis.js       the page's module (varnis.wasm, varnis.data beside it)
#   varnis-node.js  one file for node, reading and writing the real file system: the headless
#                   runner, to compare with the native build's
set(web_link -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1
  -sEXPORTED_RUNTIME_METHODS=[UTF8ToString,ENV])
set(web_data title.bmp char.bmp shoot.wav bomb.wav ${VARNIS_WEB_FONT})
set(web_preload)
set(web_data_paths)
foreach(f ${web_data})
  list(APPEND web_preload "SHELL:--preload-file ${VARNIS_WEB_DATA}/${f}@/${f}")
  list(APPEND web_data_paths ${VARNIS_WEB_DATA}/${f})
endforeach()

add_executable(varnis)
target_link_libraries(varnis PRIVATE varnis_entry)
target_link_options(varnis PRIVATE ${web_link} -sENVIRONMENT=web -sINVOKE_RUN=1 ${web_preload})
set_target_properties(varnis PROPERTIES SUFFIX ".js" LINK_DEPENDS "${web_data_paths}")

add_executable(varnis-node)
target_link_libraries(varnis-node PRIVATE varnis_entry)
target_link_options(varnis-node PRIVATE ${web_link} -sENVIRONMENT=node -sNODERAWFS=1 -sSINGLE_FILE=1)
set_target_properties(varnis-node PROPERTIES SUFFIX ".js")
