# Builds that check the tool rather than ship it: sanitizers, fuzzing and coverage.
# Each is switched on by its preset in CMakePresets.json (sanitize, fuzz, coverage) and
# instruments every target, so the test suite runs the tool exactly as it was built.
# Included before any target is defined, since the options below apply to all of them.

option(VELMORA_SANITIZE "Build everything with AddressSanitizer and UBSan" OFF)
option(VELMORA_FUZZ "Also build the libFuzzer target in tests/fuzz (needs clang)" OFF)
option(VELMORA_COVERAGE "Build everything with gcov counters; adds coverage_reset/coverage_report" OFF)

if(VELMORA_SANITIZE OR VELMORA_FUZZ)
  # No recovery: the first fault ends the program, so no test can pass over one.
  set(velmora_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all
                              -fno-omit-frame-pointer)
  add_compile_options(${velmora_sanitizer_flags})
  add_link_options(${velmora_sanitizer_flags})
endif()

if(VELMORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VELMORA_FUZZ needs clang++ with libFuzzer (Debian: clang, libclang-rt-14-dev)")
  endif()
  # Coverage feedback in every object; only the fuzz target links libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(VELMORA_COVERAGE)
  add_compile_options(--coverage)
  add_link_options(--coverage)
  find_program(VELMORA_GCOVR gcovr REQUIRED)
  set(VELMORA_MIN_LINES 100 CACHE STRING "Lines of src/ that the tests must cover, in percent")
  set(VELMORA_MIN_BRANCHES 95 CACHE STRING "Branches of src/ that the tests must cover, in percent")
  # Counts from an earlier run would hide code that the tests stopped reaching.
  add_custom_target(coverage_reset
    COMMAND find "${CMAKE_BINARY_DIR}" -name "*.gcda" -delete
    COMMENT "Removing old coverage counts" VERBATIM)
  # The tool's processes write their counts when they exit; this sums them over src/ and
  # fails under the thresholds. It reads only the objects of velmora and velmora_core
  # (CMakeFiles/ of this folder): other programs' copies of src/ files are not the tool.
  # The exception edges of calls are not the tool's branches: nothing in it throws.
  add_custom_target(coverage_report
    COMMAND "${VELMORA_GCOVR}" --root "${PROJECT_SOURCE_DIR}" --filter "${PROJECT_SOURCE_DIR}/src/"
            --exclude-throw-branches
            --txt --print-summary
            --html-details "${CMAKE_BINARY_DIR}/coverage/index.html"
            --fail-under-line ${VELMORA_MIN_LINES} --fail-under-branch ${VELMORA_MIN_BRANCHES}
            "${CMAKE_BINARY_DIR}/CMakeFiles"
    COMMAND ${CMAKE_COMMAND} -E echo "Coverage report: ${CMAKE_BINARY_DIR}/coverage/index.html"
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}" VERBATIM)
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/coverage")
endif()
