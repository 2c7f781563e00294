# End-to-end runs of the real program under Xvfb (label e2e).
# xvfb-run -a picks its display number racily, so the runs under Xvfb take turns (RESOURCE_LOCK).
# Without auto-repeat (-r) a key held over passes, however slow, is one press: C held must not
# make a second copy. The F1 run lets keys repeat after 2.5 s: F1 held past that toggles once.
find_package(X11 REQUIRED)

add_executable(shell_close_window shell_close_window.cpp)
target_link_libraries(shell_close_window PRIVATE X11::X11)
if(TARGET korvalin_assetgen)
  set(shell_assetgen $<TARGET_FILE:korvalin_assetgen>)
else()
  set(shell_assetgen none)
endif()
if(TARGET korvalin)
  foreach(case f1-twice music-end editor-quit-saves chooser-press-then-sigterm fullscreen mode-fails)
    set(screen 640x480x24)
    set(repeat -r)
    if(case STREQUAL f1-twice)
      set(repeat "-ardelay 2500")
    elseif(case MATCHES "^(editor-quit-saves|chooser-press-then-sigterm)$")
      set(screen 1024x768x24)
    elseif(case STREQUAL mode-fails)
      set(screen 800x600x24)  # no 640 x 480 mode to switch to
    endif()
    add_test(NAME shell_e2e_${case}
      COMMAND timeout 150 xvfb-run -a -s "-screen 0 ${screen} ${repeat}"
        bash ${CMAKE_CURRENT_SOURCE_DIR}/shell_e2e.sh ${case} $<TARGET_FILE:korvalin>
        ${KORVALIN_RUN_DIR} ${shell_assetgen} $<TARGET_FILE:shell_close_window> ${CMAKE_BINARY_DIR}/test-artifacts)
    set_tests_properties(shell_e2e_${case} PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 180
      RESOURCE_LOCK xvfb)
  endforeach()
endif()

# The command line: unknown options are one line and status 2; --help and --version succeed.
if(TARGET korvalin)
  add_test(NAME shell_cli_unknown_option
    COMMAND sh -c "out=$(\"$0\" --bogus 2>&1 >/dev/null); status=$?; echo \"$out\"; \
      [ $status -eq 2 ] && [ $(printf '%s\\n' \"$out\" | wc -l) -eq 1 ] && \
      printf '%s' \"$out\" | grep -q -- --bogus" $<TARGET_FILE:korvalin>)
  add_test(NAME shell_cli_help
    COMMAND sh -c "\"$0\" --help | grep -q -- --windowed && \"$0\" --version | grep -q '^korvalin [0-9]'"
      $<TARGET_FILE:korvalin>)
  # No display at all: the window cannot be made, which is reported and ends with status 1.
  add_test(NAME shell_cli_no_display
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/shell_e2e.sh no-display $<TARGET_FILE:korvalin> - - - -)
  set_tests_properties(shell_cli_unknown_option shell_cli_help shell_cli_no_display PROPERTIES LABELS e2e TIMEOUT 30)
endif()
