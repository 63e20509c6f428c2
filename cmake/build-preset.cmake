# velmora_build_preset(TARGET PRESET OUTPUT): a target of this tree that
# configures (once) and builds another preset of the project, one whose
# output (velmora.exe, velmora.wasm) the tests here run. Building it from here
# keeps the tests from ever running a stale one.
function(velmora_build_preset target preset output)
  get_filename_component(build_dir "${output}" DIRECTORY)
  add_custom_command(
    OUTPUT ${build_dir}/CMakeCache.txt
    COMMAND ${CMAKE_COMMAND} --preset ${preset}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    VERBATIM)
  add_custom_target(${target} ALL
    COMMAND ${CMAKE_COMMAND} --build --preset ${preset}
    DEPENDS ${build_dir}/CMakeCache.txt
    BYPRODUCTS ${output}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    USES_TERMINAL VERBATIM)
endfunction()
