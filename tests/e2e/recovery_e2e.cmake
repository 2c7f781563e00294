# Edits in --editor mode, the autosave, kill -9, Restore on the recovery question, Y.
if(TARGET korvalin)
  add_test(NAME editor_e2e_recovery
    COMMAND timeout 170 xvfb-run -a -s "-screen 0 1024x768x24"
      bash ${CMAKE_CURRENT_SOURCE_DIR}/recovery_e2e.sh $<TARGET_FILE:korvalin> ${KORVALIN_RUN_DIR}
      ${CMAKE_BINARY_DIR}/test-artifacts)
  set_tests_properties(editor_e2e_recovery PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 180
    RESOURCE_LOCK xvfb)
endif()
