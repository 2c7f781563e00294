# Live reload of a picture in --editor mode: overwritten, cut short, renamed into place.
if(TARGET korvalin)
  add_test(NAME editor_e2e_asset_reload
    COMMAND timeout 120 xvfb-run -a -s "-screen 0 1024x768x24"
      bash ${CMAKE_CURRENT_SOURCE_DIR}/asset_reload.sh $<TARGET_FILE:korvalin> ${KORVALIN_RUN_DIR}
      ${CMAKE_BINARY_DIR}/test-artifacts)
  set_tests_properties(editor_e2e_asset_reload PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 130
    RESOURCE_LOCK xvfb)
endif()
