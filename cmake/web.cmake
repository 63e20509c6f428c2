# The page (web/): velmora.html, one self-contained file that runs the tool's
# WebAssembly build in the browser; its release file; and the browser tests.
# Built in a tree that runs the suite against velmora.wasm (cmake/wasi.cmake),
# whose wasm it embeds.
if(NOT VELMORA_WASM)
  return()
endif()

# The bundler and the test driver come from the npm registry, pinned by
# package-lock.json; `npm ci` in the source folder installs them.
if(NOT EXISTS ${PROJECT_SOURCE_DIR}/node_modules/esbuild/package.json)
  message(FATAL_ERROR "The page needs the packages in package-lock.json: "
                      "run `npm ci` in ${PROJECT_SOURCE_DIR} first")
endif()

set(VELMORA_PAGE ${CMAKE_BINARY_DIR}/velmora.html)
file(GLOB velmora_page_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/web/*)
add_custom_command(
  OUTPUT ${VELMORA_PAGE}
  COMMAND ${VELMORA_NODE} ${PROJECT_SOURCE_DIR}/web/build.mjs ${VELMORA_WASM} ${VELMORA_PAGE}
  DEPENDS ${velmora_page_sources} ${VELMORA_WASM}
  COMMENT "Bundling the page into ${VELMORA_PAGE}"
  VERBATIM)
add_custom_target(velmora_page DEPENDS ${VELMORA_PAGE})
if(TARGET velmora_wasm)
  add_dependencies(velmora_page velmora_wasm)
endif()

add_custom_target(release_page
  COMMAND ${CMAKE_COMMAND} -DPAGE=${VELMORA_PAGE} -DOUTPUT_DIR=${VELMORA_PACKAGE_DIR}
          -DSUMS_PREFIX=${PROJECT_NAME}-${PROJECT_VERSION}
          -P ${CMAKE_CURRENT_LIST_DIR}/package-page.cmake
  COMMENT "Putting velmora-${PROJECT_VERSION}.html among the release packages"
  VERBATIM)
add_dependencies(release_page velmora_page)

# The browser tests run one table in each of Debian's three engines (packages
# chromium, firefox-esr and webkit2gtk-driver), at a desktop's width and a
# phone's: never a browser of their own. They compare the page's downloads
# with what this tree's native tool leaves in the same folder.
if(BUILD_TESTING)
  # The JavaScript's own clang-format and compiler warnings: Prettier's layout and ESLint's
  # recommended rules, as pinned in package.json and set in .prettierrc.json and eslint.config.js.
  set(javascript web tests/web bench/*.mjs eslint.config.js)
  add_test(NAME javascript_format
           COMMAND ${VELMORA_NODE} node_modules/prettier/bin/prettier.cjs --check ${javascript}
           WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  add_test(NAME javascript_lint
           COMMAND ${VELMORA_NODE} node_modules/eslint/bin/eslint.js ${javascript}
           WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(javascript_format javascript_lint PROPERTIES LABELS web)
  # The core as the page runs it over a game folder, under Node: no browser needed.
  add_test(NAME page_game_run COMMAND ${VELMORA_NODE} --test ${PROJECT_SOURCE_DIR}/tests/web/game_run.test.mjs)
  set_tests_properties(page_game_run PROPERTIES
    ENVIRONMENT "VELMORA_WASM=${VELMORA_WASM};VELMORA_NATIVE=$<TARGET_FILE:velmora>;VELMORA_MAKE_GAME_FOLDER=$<TARGET_FILE:make_game_folder>")
  find_program(VELMORA_CHROMIUM chromium REQUIRED)
  find_program(VELMORA_FIREFOX firefox-esr REQUIRED)
  find_program(VELMORA_WEBDRIVER WebKitWebDriver REQUIRED)
  find_program(VELMORA_XVFB_RUN xvfb-run REQUIRED) # MiniBrowser needs a display
  find_program(VELMORA_MINIBROWSER MiniBrowser REQUIRED
               PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/webkit2gtk-4.1 NO_DEFAULT_PATH)
  set(firefox_browser ${VELMORA_FIREFOX})
  set(chromium_browser ${VELMORA_CHROMIUM})
  set(webkit_browser ${VELMORA_MINIBROWSER})
  set(webkit_launcher ${VELMORA_XVFB_RUN} --auto-servernum)
  foreach(engine chromium firefox webkit)
    foreach(width 1280 390)
      add_test(NAME page_in_${engine}_${width}
               COMMAND ${${engine}_launcher} ${VELMORA_NODE} --test
                       ${PROJECT_SOURCE_DIR}/tests/web/page.test.mjs)
      set_tests_properties(page_in_${engine}_${width} PROPERTIES
        LABELS web
        ENVIRONMENT "VELMORA_PAGE=${VELMORA_PAGE};VELMORA_NATIVE=$<TARGET_FILE:velmora>;VELMORA_ENGINE=${engine};VELMORA_WIDTH=${width};VELMORA_BROWSER=${${engine}_browser};VELMORA_WEBDRIVER=${VELMORA_WEBDRIVER};VELMORA_MAKE_GAME_FOLDER=$<TARGET_FILE:make_game_folder>")
    endforeach()
  endforeach()
endif()
