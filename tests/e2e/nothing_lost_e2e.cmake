# Work that must not be lost and input that must not stick, on the real program under Xvfb.
# Reuses shell_close_window from shell_e2e.cmake (targets may be named before they are made).
if(TARGET korvalin)
  if(TARGET korvalin_assetgen)
    set(nothing_lost_assetgen $<TARGET_FILE:korvalin_assetgen>)
  else()
    set(nothing_lost_assetgen none)
  endif()
  foreach(case unreadable-kept save-through-link f1-held error-box-owner button-held-over-f1
          chooser-press)
    set(screen 640x480x24)
    if(case MATCHES "^(button-held-over-f1|chooser-press)$")
      set(screen 1024x768x24)
    endif()
    add_test(NAME nothing_lost_e2e_${case}
      COMMAND timeout 150 xvfb-run -a -s "-screen 0 ${screen}"
        bash ${CMAKE_CURRENT_SOURCE_DIR}/nothing_lost_e2e.sh ${case} $<TARGET_FILE:korvalin>
        ${KORVALIN_RUN_DIR} ${nothing_lost_assetgen} $<TARGET_FILE:shell_close_window>)
    set_tests_properties(nothing_lost_e2e_${case} PROPERTIES LABELS e2e SKIP_RETURN_CODE 77
      TIMEOUT 180 RESOURCE_LOCK xvfb)
  endforeach()
endif()
