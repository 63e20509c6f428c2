# velmora.wasm, turned by Binaryen's Asyncify (Debian's package binaryen) so that a read can
# wait for the browser: the page hands the tool a game folder whose files it reads only when the
# tool asks, and a browser answers a read only later. Only fd_read may wait: every other call the
# tool makes (open, seek, stat, list a folder) the page answers from the listing it already holds,
# and the fewer imports may wait, the less of the module Asyncify has to instrument. A run whose
# reads all answer at once (every run but the page's folder run) goes through the module unchanged.
find_program(VELMORA_WASM_OPT wasm-opt REQUIRED)
# The page's Asyncify runtime (npm's asyncify-wasm) keeps its unwind data at bytes 16 to 1,024 of
# the module's memory: the module's own data starts above them. lld's default; stated, so that it
# stays so.
target_link_options(velmora PRIVATE -Wl,--global-base=1024)
add_custom_command(TARGET velmora POST_BUILD
  COMMAND ${VELMORA_WASM_OPT} --asyncify
          --pass-arg=asyncify-imports@wasi_snapshot_preview1.fd_read -Oz --strip-debug
          $<TARGET_FILE:velmora> -o $<TARGET_FILE:velmora>
  COMMENT "Letting velmora.wasm wait for the browser's reads (wasm-opt --asyncify)"
  VERBATIM)
