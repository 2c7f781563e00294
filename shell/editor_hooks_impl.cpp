// The editor's part in every pass of the main loop. The Editor exists in both window modes: in
// the 640 x 480 player the demo covers its canvas, but its keys and mouse stay live.
#include <GL/gl.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "editor/autosave.h"
#include "editor/editor.h"
#include "editor/music_aids.h"
#include "editor/history.h"
#include "editor/ui_draw.h"
#include "platform/message_box.h"
#include "shell/editor_hooks.h"
#include "shell/loop_playback.h"
#include "shell/music_analysis.h"
#include "shell/shell_app.h"
#include "shell/transport.h"
#include "timeline/sidecar.h"

namespace korvalin {

namespace {

class EditorHookup final : public EditorHooks {
 public:
  explicit EditorHookup(ShellServices& services)
      : services_(services), editor_(services.timeline, &services.textures, services.projectPath) {
    if (services.editorMode) {
      aids_ = std::make_unique<MusicAids>(services.projectPath + kSidecarSuffix);
      editor_.aids = aids_.get();
      analyser_ = std::make_unique<MusicAnalyser>(kMusicPath);
      history_ = std::make_unique<EditHistory>(editor_);
      editor_.history = history_.get();
      autosave_ = std::make_unique<Autosave>(services.projectPath + ".autosave", services.autosaveSeconds);
    }
  }

  // A new window closes any dialog and hides the panel. The first one, in --editor mode, offers
  // what an earlier run left unsaved: the question then belongs to the editor's window.
  void editorStartup() override {
    services_.timeline.editMode = kEditNothing;
    if (autosave_ == nullptr || recoveryOffered_) return;
    recoveryOffered_ = true;
    recoverAutosave(editor_, *history_, *autosave_, [](const std::string& question) {
      switch (askRestoreOrDiscard("Unsaved changes", question)) {
        case RecoveryAnswer::kRestore: return RecoveryChoice::kRestore;
        case RecoveryAnswer::kDiscard: return RecoveryChoice::kDiscard;
        case RecoveryAnswer::kNobodyToAsk: break;
      }
      return RecoveryChoice::kNobodyToAsk;
    });
  }

  void editorInput(ShellInput& input) override {
    if (history_ != nullptr) history_->setTime(seconds());
    if (input.chordKey != 0) {
      chordKey_ = input.chordKey;
      chordShift_ = input.chordShift;
      input.chordKey = 0;
    }
    editor_.mouseMove(input.mouseX, input.mouseY);
    if (aids_ != nullptr) loopPlayback_.beforePass(aids_->loop, services_.transport);
    editor_.setPlayCursor(services_.transport.playPosition());
    if (input.wheelStep != 0) {
      editor_.wheel(input.wheelStep);
      input.wheelStep = 0;
    }
    if (input.leftDown == 1) {
      editor_.mouseButton(0);
      // Asked in every pass the button is held, not only the first.
      switch (editor_.transportHit(0)) {
        case 1: services_.transport.transportPlay(); break;
        case 2: services_.transport.transportPause(); break;
        case 3:
          services_.transport.transportStop();
          editor_.setViewStart(services_.transport.playPosition());  // 0 after the stop
          break;
        default: break;
      }
    }
    if (input.middleDown == 1) editor_.mouseButton(1);
    if (input.rightDown == 1) editor_.mouseButton(2);
    if (input.leftDown == 0 && input.middleDown == 0 && input.rightDown == 0) editor_.releaseButtons();
    if (input.lastKey != 0) {
      editor_.setPendingKey(input.lastKey);
      input.lastKey = 0;
    }
  }

  void editorKeys() override {
    editor_.handleKey();
    if (chordKey_ != 0 && history_ != nullptr) history_->handleChord(chordKey_, chordShift_);
    chordKey_ = 0;
  }

  void editorPass() override {
    takeMusicAnalysis();
    beginEditorCanvas();
    setTextTextures(&services_.textures);

    // Shows this pass's clock, before any scrubbing below takes effect.
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", services_.transport.playPosition());
    drawText(text, 18, 0, 30, 550);

    const float t = editor_.drawEditor();
    // The marker can be dragged left of time 0, but the clock counts unsigned milliseconds:
    // a negative position would wrap to some 49 days.
    const float at = t > 0.0f ? t : 0.0f;
    // Without a drag of the marker this is the position the pass started from, not a move.
    if (t == editor_.playCursor) {
      services_.clock.seek(at);
    } else {
      services_.transport.seekTo(at);
    }
    loopPlayback_.shown(at);
    if (autosave_ != nullptr) {
      autosave_->pass(seconds(), services_.timeline, history_->version(), history_->unsaved());
    }
  }

  bool hasUnsavedChanges() const override { return editor_.hasUnsavedChanges(); }
  bool saveProjectNow() override { return editor_.saveProject(); }
  void editorQuitting() override {
    if (autosave_ != nullptr) autosave_->removeAndWait();
  }
  bool showsUnsaved() const override { return history_ != nullptr && history_->unsaved(); }

 private:
  // The strip fills in once the worker has read the music.
  void takeMusicAnalysis() {
    if (analyser_ == nullptr) return;
    std::unique_ptr<MusicAnalysis> analysis = analyser_->take();
    if (analysis == nullptr) return;
    // A music file that cannot be opened has had its line from the music stream already.
    if (!analysis->error.empty() && analysis->peaks) std::fprintf(stderr, "%s\n", analysis->error.c_str());
    aids_->setAnalysis(analysis->peaks, analysis->onsets);
    analyser_.reset();
  }

  // Steady seconds: the tick counter wraps after 49 days, and the autosave's timer must not.
  static double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }

  ShellServices& services_;
  Editor editor_;
  std::unique_ptr<MusicAids> aids_;
  std::unique_ptr<MusicAnalyser> analyser_;
  LoopPlayback loopPlayback_;
  std::unique_ptr<EditHistory> history_;
  std::unique_ptr<Autosave> autosave_;
  bool recoveryOffered_ = false;
  uint8_t chordKey_ = 0;
  bool chordShift_ = false;
};

}  // namespace

std::unique_ptr<EditorHooks> makeEditorHooks(ShellServices& services) {
  return std::make_unique<EditorHookup>(services);
}

}  // namespace korvalin
