// The platform layer against what the tests control. The window, the key map and the error reports
// over SDL's offscreen driver: events are pushed into SDL's queue as the system would deliver them;
// what no test machine has (a display with other modes, a failing mode switch, the exit) is reached
// through stand-ins for SDL's calls. The music stream against Ogg files the tests encode: two tones,
// of 100 and 101 frames a period at the file's own rate, so that a stretch of decoded sound tells
// the frame it started at (within 100 x 101 frames). Most music tests play the device's part
// themselves: they call the stream's callback for each buffer and set its clock, so that what is
// heard, and when, is exact.
#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <unistd.h>

// After gtest: Xlib defines names such as None.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "platform/key_map.h"
#include "platform/message_box.h"
#include "platform/music_stream.h"
#include "platform/offscreen_gl.h"
#include "platform/vorbis_decoder.h"
#include "platform/window.h"
#include "tests/common/leak_check.h"
#include "tools/music.h"

// A stand-in for one of SDL's calls, defined here where the program's calls reach it first,
// passes the call on to SDL's own function with this.
#define REAL_SDL(name) reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name))

// The message boxes, answered here: each one asked is noted as "flags caption: text [id text
// flags, ...]", with " owned" when it belongs to a window; gPressed is the button pressed.
constexpr int kBoxFails = -2;
std::vector<std::string> gBoxes;
int gPressed = 0;

extern "C" int SDL_ShowMessageBox(const SDL_MessageBoxData* data, int* pressed) {
  std::string note = std::to_string(data->flags) + " " + data->title + ": " + data->message;
  for (int i = 0; i < data->numbuttons; ++i) {
    const SDL_MessageBoxButtonData& b = data->buttons[i];
    note += (i ? ", " : " [") + std::to_string(b.buttonid) + " " + b.text + " " + std::to_string(b.flags);
  }
  gBoxes.push_back(note + (data->numbuttons ? "]" : "") + (data->window ? " owned" : ""));
  if (gPressed >= 0) *pressed = gPressed;
  return gPressed == kBoxFails ? -1 : 0;
}

extern "C" int SDL_ShowSimpleMessageBox(Uint32 flags, const char* title, const char* text, SDL_Window* owner) {
  const SDL_MessageBoxData data{flags, owner, title, text, 0, nullptr, nullptr};
  int pressed;
  return SDL_ShowMessageBox(&data, &pressed);
}

// A display whose modes the test lists (while gModes is not empty); the mode a window asks for is
// noted, and the switch to it fails when gSwitchFails.
std::vector<SDL_DisplayMode> gModes;
SDL_DisplayMode gModeAsked;
bool gSwitchFails = false;

extern "C" int SDL_GetNumDisplayModes(int display) {
  return gModes.empty() ? REAL_SDL(SDL_GetNumDisplayModes)(display) : static_cast<int>(gModes.size());
}

extern "C" int SDL_GetDisplayMode(int display, int index, SDL_DisplayMode* mode) {
  if (gModes.empty()) return REAL_SDL(SDL_GetDisplayMode)(display, index, mode);
  *mode = gModes.at(index);
  return 0;
}

extern "C" int SDL_SetWindowDisplayMode(SDL_Window* window, const SDL_DisplayMode* mode) {
  gModeAsked = *mode;
  return REAL_SDL(SDL_SetWindowDisplayMode)(window, mode);
}

extern "C" int SDL_SetWindowFullscreen(SDL_Window* window, Uint32 flags) {
  if (gModes.empty()) return REAL_SDL(SDL_SetWindowFullscreen)(window, flags);
  return gSwitchFails && flags != 0 ? -1 : 0;
}

// What the window asks of the pixel format: llvmpipe gives as much whatever is asked.
std::map<SDL_GLattr, int> gAttributes;

extern "C" int SDL_GL_SetAttribute(SDL_GLattr attribute, int value) {
  gAttributes[attribute] = value;
  return REAL_SDL(SDL_GL_SetAttribute)(attribute, value);
}

SDL_GLContext gContextDeleted = nullptr;
const char* gVideoDriver = nullptr;  // the driver SDL is said to run on, when set
int gQuits = 0;                      // SDL_Quit is what puts the desktop's mode back at exit

extern "C" void SDL_GL_DeleteContext(SDL_GLContext context) { REAL_SDL(SDL_GL_DeleteContext)(gContextDeleted = context); }

extern "C" const char* SDL_GetCurrentVideoDriver() { return gVideoDriver ? gVideoDriver : REAL_SDL(SDL_GetCurrentVideoDriver)(); }

extern "C" void SDL_Quit() {
  ++gQuits;
  REAL_SDL(SDL_Quit)();
}

// Stand-ins for SDL's: a device the test plays itself (unless a test says otherwise), a machine
// where no audio device opens, not even on SDL's dummy driver, or one where SDL's audio cannot
// start at all. Each device asked for is noted as "capture changes format frames".
enum Audio { kRealAudio, kPlayedByTest, kNoDevice, kNoAudioSystem } gAudio = kPlayedByTest;
std::vector<std::string> gDevicesAsked;
SDL_AudioSpec gDevice;  // the one the test plays
bool gDevicePaused = true;

extern "C" int SDL_InitSubSystem(Uint32 flags) {
  if (gAudio == kNoAudioSystem && (flags & SDL_INIT_AUDIO) != 0) return SDL_SetError("no audio here");
  return REAL_SDL(SDL_InitSubSystem)(flags);
}

extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char* name, int capture, const SDL_AudioSpec* want,
                                                 SDL_AudioSpec* have, int changes) {
  gDevicesAsked.push_back(std::to_string(capture) + " " + std::to_string(changes) + " " + std::to_string(want->format) + " " +
                          std::to_string(want->samples) + " " + std::to_string(want->freq) + " " + std::to_string(want->channels));
  if (gAudio == kPlayedByTest) gDevice = *want;
  if (gAudio == kPlayedByTest) return 99;  // a number SDL does not know: it ignores calls with it
  return gAudio == kNoDevice ? 0 : REAL_SDL(SDL_OpenAudioDevice)(name, capture, want, have, changes);
}

extern "C" void SDL_PauseAudioDevice(SDL_AudioDeviceID device, int paused) {
  gDevicePaused = paused != 0;
  REAL_SDL(SDL_PauseAudioDevice)(device, paused);
}

namespace korvalin {
namespace {

// The session a box sees: KORVALIN_HEADLESS, SDL_VIDEODRIVER, DISPLAY and WAYLAND_DISPLAY, each
// unset when null.
void setSession(std::array<const char*, 4> env) {
  const char* const names[] = {"KORVALIN_HEADLESS", "SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"};
  for (int i = 0; i < 4; ++i) env[i] ? setenv(names[i], env[i], 1) : unsetenv(names[i]);
}

// Windows virtual-key codes, as the shell's key flags and the editor expect them.
TEST(KeyMap, SdlKeysToVirtualKeys) {
  const struct { SDL_Keycode sdl; int32_t vk; } cases[] = {
      {SDLK_BACKSPACE, 8}, {SDLK_TAB, 9}, {SDLK_RETURN, 13}, {SDLK_KP_ENTER, 13}, {SDLK_LSHIFT, 16}, {SDLK_RSHIFT, 16},
      {SDLK_LCTRL, 17}, {SDLK_RCTRL, 17}, {SDLK_LALT, 18}, {SDLK_RALT, 18}, {SDLK_PAUSE, 19}, {SDLK_CAPSLOCK, 20},
      {SDLK_ESCAPE, 27}, {SDLK_SPACE, 32}, {SDLK_PAGEUP, 33}, {SDLK_PAGEDOWN, 34}, {SDLK_END, 35}, {SDLK_HOME, 36},
      {SDLK_LEFT, 37}, {SDLK_UP, 38}, {SDLK_RIGHT, 39}, {SDLK_DOWN, 40}, {SDLK_PRINTSCREEN, 44}, {SDLK_INSERT, 45},
      {SDLK_DELETE, 46}, {SDLK_LGUI, 91}, {SDLK_RGUI, 92}, {SDLK_APPLICATION, 93}, {SDLK_KP_MULTIPLY, 106}, {SDLK_KP_PLUS, 107},
      {SDLK_KP_MINUS, 109}, {SDLK_KP_PERIOD, 110}, {SDLK_KP_DIVIDE, 111}, {SDLK_NUMLOCKCLEAR, 144}, {SDLK_SCROLLLOCK, 145}, {SDLK_SEMICOLON, 186},
      {SDLK_EQUALS, 187}, {SDLK_COMMA, 188}, {SDLK_MINUS, 189}, {SDLK_PERIOD, 190}, {SDLK_SLASH, 191}, {SDLK_BACKQUOTE, 192},
      {SDLK_LEFTBRACKET, 219}, {SDLK_BACKSLASH, 220}, {SDLK_RIGHTBRACKET, 221}, {SDLK_QUOTE, 222}, {SDLK_KP_0, 96}, {SDLK_F13, 124},
      {SDLK_F24, 135}, {SDLK_UNKNOWN, 0}, {SDLK_AC_BACK, 0}, {SDLK_MODE, 0}, {SDLK_KP_EQUALSAS400, 0}, {SDLK_z + 1, 0}};
  for (const auto& c : cases) EXPECT_EQ(virtualKeyFromSdl(c.sdl), c.vk) << SDL_GetKeyName(c.sdl);
  // Runs of keys: the first of each, how many, and the first's code.
  const struct { SDL_Keycode sdl; int count; int32_t vk; } runs[] = {{SDLK_KP_1, 9, 97}, {SDLK_a, 26, 'A'}, {SDLK_0, 10, '0'}, {SDLK_F1, 12, 112}};
  for (const auto& r : runs)
    for (int i = 0; i < r.count; ++i) EXPECT_EQ(virtualKeyFromSdl(r.sdl + i), r.vk + i) << SDL_GetKeyName(r.sdl + i);
}

// An event as SDL delivers it: `code` is the key, button, window event or wheel step, `extra` the
// key's modifiers or the wheel's direction (2: a sideways step).
SDL_Event event(Uint32 type, int code = 0, Uint16 extra = 0) {
  SDL_Event e{type};
  if (type == SDL_KEYDOWN || type == SDL_KEYUP) e.key.keysym = {SDL_SCANCODE_UNKNOWN, code, extra, 0};
  if (type == SDL_KEYDOWN) e.key.repeat = 1;
  if (type == SDL_MOUSEWHEEL) (extra == 2 ? e.wheel.x : e.wheel.y) = code;
  if (type == SDL_MOUSEWHEEL) e.wheel.direction = extra == SDL_MOUSEWHEEL_FLIPPED;
  if (type == SDL_WINDOWEVENT) e.window.event = static_cast<Uint8>(code);
  if (type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP) e.button.button = static_cast<Uint8>(code);
  return e;
}

TEST(PlatformWindowTest, EventsArriveTranslatedAndWhatAWindowLeftQueuedGoesWithIt) {
  // The GL library stays loaded to the end, so that the leak check can name the driver's leaks.
  ASSERT_TRUE(SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0);
  SDL_ShowCursor(SDL_DISABLE);
  std::string error;
  auto window = PlatformWindow::create({"Tamsilvo - Korvalin", 640, 480, false}, &error);
  ASSERT_TRUE(window) << error;
  EXPECT_TRUE(!window->fullscreen() && window->width() == 640 && window->height() == 480);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  // Closing the last window asks the program, which may still want to save, instead of quitting.
  EXPECT_FALSE(SDL_GetHintBoolean(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, SDL_TRUE));
  const std::map<SDL_GLattr, int> pixelFormat = {{SDL_GL_RED_SIZE, 8}, {SDL_GL_GREEN_SIZE, 8}, {SDL_GL_BLUE_SIZE, 8},
                                                 {SDL_GL_ALPHA_SIZE, 1}, {SDL_GL_DEPTH_SIZE, 16}, {SDL_GL_DOUBLEBUFFER, 1}};
  EXPECT_EQ(gAttributes, pixelFormat);
  WindowEvent e;
  while (window->pollEvent(e)) {}
  // What the event carries: the key, button (-1 when none), wheel step or width; mods: 1 for Ctrl,
  // 2 for Shift.
  const auto key = &WindowEvent::virtualKey, button = &WindowEvent::button, wheel = &WindowEvent::wheelStep;
  struct Case { SDL_Event in; EventKind kind; int32_t WindowEvent::*carries; int32_t value; bool repeat = false; int mods = 0; };
  const Case events[] = {
      {event(SDL_KEYDOWN, SDLK_DELETE, KMOD_RCTRL), EventKind::kKeyDown, key, kVkDelete, true, 1},
      {event(SDL_KEYUP, SDLK_F1, KMOD_LSHIFT), EventKind::kKeyUp, key, kVkF1, false, 2},
      {event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE), EventKind::kButtonDown, button, 1},
      {event(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT), EventKind::kButtonUp, button, 2},
      {event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT), EventKind::kButtonDown, button, 0},
      {event(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1), EventKind::kOther, button, -1}, {event(SDL_MOUSEWHEEL, 1), EventKind::kWheel, wheel, 1},
      {event(SDL_MOUSEWHEEL, 1, SDL_MOUSEWHEEL_FLIPPED), EventKind::kWheel, wheel, -1},
      {event(SDL_MOUSEWHEEL, 1, 2), EventKind::kOther, wheel, 0},
      {event(SDL_MOUSEMOTION), EventKind::kMouseMove, button, -1}, {event(SDL_QUIT), EventKind::kTerminated, button, -1},
      {event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE), EventKind::kCloseRequested, button, -1},
      {event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_MINIMIZED), EventKind::kMinimized, button, -1},
      {event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_RESTORED), EventKind::kRestored, &WindowEvent::width, 640},
      {event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_MAXIMIZED), EventKind::kRestored, &WindowEvent::height, 480},
      {event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_SIZE_CHANGED), EventKind::kRestored, &WindowEvent::width, 640},
      {event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_MOVED), EventKind::kOther, button, -1}};
  for (auto c : events) SDL_PushEvent(&c.in);
  window->postFullscreenToggle();
  window->postQuit();
  for (const auto& c : events) {
    ASSERT_TRUE(window->pollEvent(e));
    EXPECT_TRUE(e.kind == c.kind && e.*c.carries == c.value && e.repeat == c.repeat && e.ctrl + 2 * e.shift == c.mods)
        << static_cast<int>(c.kind) << " " << c.value << " got " << static_cast<int>(e.kind) << " " << e.*c.carries;
  }
  for (EventKind posted : {EventKind::kToggleRequested, EventKind::kQuitPosted}) EXPECT_TRUE(window->pollEvent(e) && e.kind == posted);
  EXPECT_FALSE(window->pollEvent(e));
  // A resize is seen with the new client size, which the window then reports.
  SDL_SetWindowSize(SDL_GL_GetCurrentWindow(), 320, 240);
  while (window->pollEvent(e) && e.kind != EventKind::kRestored) {}
  EXPECT_TRUE(e.kind == EventKind::kRestored && e.width == 320 && e.height == 240);
  EXPECT_TRUE(window->width() == 320 && window->height() == 240);

  // Whatever the old window still had queued is gone with it, and so is its GL context; a new
  // window shares the old one's event numbers (SDL has few to give).
  SDL_Event quit = event(SDL_QUIT);
  SDL_PushEvent(&quit);
  window->postQuit();
  const Uint32 nextEvent = SDL_RegisterEvents(1);
  const SDL_GLContext context = SDL_GL_GetCurrentContext();
  window.reset();
  EXPECT_EQ(gContextDeleted, context);
  window = PlatformWindow::create({"again", 320, 200, false}, &error);
  ASSERT_TRUE(window) << error;
  EXPECT_EQ(SDL_RegisterEvents(1), nextEvent + 1);
  while (window->pollEvent(e)) EXPECT_TRUE(e.kind != EventKind::kQuitPosted && e.kind != EventKind::kTerminated);
  window->postQuit();
  EXPECT_TRUE(window->pollEvent(e) && e.kind == EventKind::kQuitPosted);

  // A box asked while the window exists opens in front of it.
  setSession({nullptr, nullptr, ":97"});
  showErrorMessage("owned");
  askRestoreOrDiscard("Unsaved changes", "Restore?");
  window.reset();
  showErrorMessage("not owned");
  EXPECT_EQ(gBoxes, (std::vector<std::string>{"16 Error: owned owned", "64 Unsaved changes: Restore? [0 Restore 1, 1 Discard 2] owned",
                                              "16 Error: not owned"}));
  setSession({"1"});

  // Fullscreen takes the first true-colour mode of exactly the window's size, else any mode of
  // that size; without one, or when the switch fails, the window opens windowed and says so.
  gModes = {{SDL_PIXELFORMAT_RGB565, 800, 600, 60, nullptr}, {SDL_PIXELFORMAT_RGB565, 640, 480, 60, nullptr},
            {SDL_PIXELFORMAT_RGB888, 640, 480, 60, nullptr}, {SDL_PIXELFORMAT_ARGB8888, 640, 480, 60, nullptr},
            {SDL_PIXELFORMAT_ARGB8888, 800, 480, 60, nullptr}};
  std::vector<std::string> said;
  setMessageSink([&](const std::string& text) { said.push_back(text); });
  const struct { int32_t width, height; bool switchFails; Uint32 format; } cases[] = {
      {640, 480, false, SDL_PIXELFORMAT_RGB888}, {800, 600, false, SDL_PIXELFORMAT_RGB565}, {640, 480, true, 0}, {600, 480, false, 0}};
  for (const auto& c : cases) {
    gSwitchFails = c.switchFails;
    said.clear();
    window = PlatformWindow::create({"full", c.width, c.height, true}, &error);
    ASSERT_TRUE(window) << error;
    EXPECT_EQ(window->fullscreen(), c.format != 0) << c.width << "x" << c.height;
    EXPECT_EQ(said, c.format ? std::vector<std::string>{} : std::vector<std::string>{"Mode Switch Failed.\nRunning In Windowed Mode."});
    EXPECT_TRUE(!c.format || (gModeAsked.format == c.format && gModeAsked.w == c.width && gModeAsked.h == c.height));
  }
  // The export's offscreen context is asked for the same pixel format.
  gAttributes.clear();
  EXPECT_TRUE(OffscreenGl::create(64, 64, &error)) << error;
  EXPECT_EQ(gAttributes, pixelFormat);
}

// At exit SDL_Quit puts the desktop's mode back, once however many windows were made.
TEST(PlatformWindowDeathTest, TheDisplayIsRestoredOnceAtExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT({
    std::atexit([] { _exit(gQuits); });  // runs last
    for (int install = 0; install < 2; ++install) installDisplayRestore();
    std::exit(0);
  }, testing::ExitedWithCode(1), "");
}

// Under X11 the window system itself is asked whether a function key is held, and only for F1 to
// F24, on a connection of its own (ctest runs this under Xvfb, with the keys pressed
// through XTest). Under another video driver, or without a connection, no key is held.
TEST(KeyHeldNowTest, AsksTheWindowSystemForFunctionKeysOnly) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_OVERRIDE);
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
  // F25 exists on some keyboards; this one gets it on a spare key code.
  Display* display = XOpenDisplay(nullptr);
  KeySym f25 = XK_F25;
  XChangeKeyboardMapping(display, 255, 1, &f25, 1);
  XCloseDisplay(display);
  ASSERT_EQ(std::system("xdotool keydown F12 keydown c keydown F25"), 0);
  EXPECT_TRUE(keyHeldNow(kVkF1 + 11));
  EXPECT_FALSE(keyHeldNow(kVkF1) || keyHeldNow(kVkF1 + 10) || keyHeldNow('C') || keyHeldNow(kVkF1 + 24));
  gVideoDriver = "wayland";
  EXPECT_FALSE(keyHeldNow(kVkF1 + 11));
  gVideoDriver = nullptr;
  ASSERT_EQ(std::system("xdotool keyup F12 keyup c keyup F25"), 0);
  setenv("DISPLAY", ":9999", 1);
  EXPECT_FALSE(keyHeldNow(kVkF1 + 11));
}

// Headless, nobody is asked: the report goes to standard error without its trailing line
// breaks, and the quit question answers "Save". Otherwise each box is shown in front of the
// window, and the button pressed is the answer (-1: closed without a choice); a box that cannot be
// shown counts as headless.
TEST(MessageBoxTest, WhoIsAskedAndWhatTheAnswersMean) {
  const std::array<const char*, 4> x11 = {nullptr, "x11", ":97"};
  const struct { std::array<const char*, 4> env; int pressed = 0; bool asks = false;
                 QuitAnswer quit = QuitAnswer::kSave; RecoveryAnswer recovery = RecoveryAnswer::kNobodyToAsk; } cases[] = {
      {{"1", "x11", ":97"}}, {{nullptr, "offscreen", ":97"}}, {{nullptr, "dummy", ":97"}}, {{}}, {x11, kBoxFails, true},
      {x11, 0, true, QuitAnswer::kSave, RecoveryAnswer::kRestore},
      {{nullptr, nullptr, nullptr, "wayland-97"}, 1, true, QuitAnswer::kDiscard, RecoveryAnswer::kDiscard},
      {x11, 2, true, QuitAnswer::kCancel, RecoveryAnswer::kDiscard}, {x11, -1, true, QuitAnswer::kCancel, RecoveryAnswer::kDiscard}};
  const std::vector<std::string> boxes = {"16 Error: Mode Switch Failed.\nRunning In Windowed Mode.\n\n",
                                          "32 Korvalin: Save? [0 Save 1, 1 Discard 0, 2 Cancel 2]",
                                          "64 Unsaved changes: Restore? [0 Restore 1, 1 Discard 2]"};
  for (const auto& c : cases) {
    setSession(c.env);
    gPressed = c.pressed;
    gBoxes.clear();
    testing::internal::CaptureStderr();
    showErrorMessage("Mode Switch Failed.\nRunning In Windowed Mode.\n\n");
    EXPECT_EQ(askSaveDiscardCancel("Korvalin", "Save?"), c.quit) << &c - cases;
    EXPECT_EQ(askRestoreOrDiscard("Unsaved changes", "Restore?"), c.recovery) << &c - cases;
    const bool heard = c.asks && c.pressed != kBoxFails;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), heard ? "" : "Error: Mode Switch Failed.\nRunning In Windowed Mode.\n"
                                                                   "Korvalin: Save? Answered \"Save\" (no one to ask).\n");
    EXPECT_EQ(gBoxes, c.asks ? boxes : std::vector<std::string>{}) << &c - cases;
  }
}

// Per process: ctest runs these tests side by side, each writing its own files.
std::string tempPath(const std::string& name) { return ::testing::TempDir() + "korvalin_" + std::to_string(getpid()) + "_" + name; }

// Frame n of channel c: a tone of 100 + c frames a period, a quarter period ahead so that the
// very first frame is not silent.
float tone(int64_t n, int c) {
  return 0.4f * static_cast<float>(std::sin(2 * M_PI * static_cast<double>((n + 25) % (100 + c)) / (100 + c)));
}

std::string writeTones(int32_t millis, int32_t rate, int channels = 2) {
  const std::string path = tempPath(std::to_string(millis) + "ms" + std::to_string(rate) + "x" + std::to_string(channels) + ".ogg");
  std::vector<float> samples(static_cast<size_t>(millis) * rate / 1000 * channels);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = tone(static_cast<int64_t>(i / channels), static_cast<int>(i % channels));
  std::string error;
  EXPECT_TRUE(content::writeOggVorbis(path, samples, rate, 0.4f, &error, 1, channels)) << error;
  return path;
}

// A copy of `path` with `holes` gaps in a row in its data before its fourth page: pages that
// only carry on a packet, each numbered as if pages before it were lost.
std::string withHoles(const std::string& path, int holes) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), lost;
  for (int i = 0; i + 1 < holes; ++i) {
    // Continued, no packet ends here, one unfinished segment.
    std::string page = bytes.substr(0, 5) + '\1' + std::string(8, '\xff') + bytes.substr(14, 12) + "\1\xff" + std::string(255, '\0');
    page[18] = static_cast<char>(4 + 2 * i);  // the page number's low byte; the first page's others are 0
    ogg_page p{reinterpret_cast<unsigned char*>(&page[0]), 28, reinterpret_cast<unsigned char*>(&page[28]), 255};
    ogg_page_checksum_set(&p);
    lost += page;
  }
  size_t fourth = 0;
  for (int page = 0; page < 3; ++page) fourth = bytes.find("OggS", fourth + 1);
  const std::string copy = path + "." + std::to_string(holes) + "holes.ogg";
  std::ofstream(copy, std::ios::binary) << bytes.insert(fourth, lost);
  return copy;
}

// Whether stereo `pcm` is the tones from `frame` on: the codec's mean error here is below 0.005,
// one frame off is 0.015.
bool tonesFrom(const std::vector<int16_t>& pcm, int64_t frame) {
  double error = 0;
  for (int k = 0; k < 2 * 1000; ++k) error += std::abs(pcm[k] / 32768.0 - tone(frame + k / 2, k % 2));
  return error / 2000 < 0.01;
}

// The number of frames up to the last sound in `pcm`.
int64_t soundFrames(const std::vector<int16_t>& pcm, int channels) {
  const auto last = std::find_if(pcm.rbegin(), pcm.rend(), [](int16_t v) { return v != 0; });
  return (pcm.rend() - last + channels - 1) / channels;
}

class MusicStreamTest : public ::testing::Test {
 protected:
  void openPaused(const std::string& path) {
    ASSERT_TRUE(music.open(path.c_str()));
    music.playPaused();
  }
  // The device's part: while it plays, it asks the stream for `buffers` buffers of 1024 frames,
  // which hold whatever was there before.
  std::vector<int16_t> pull(int buffers) {
    std::vector<int16_t> pcm(static_cast<size_t>(buffers) * 1024 * music.channels(), 0x5555);
    for (int i = 0; i < buffers && !gDevicePaused; ++i) gDevice.callback(gDevice.userdata, reinterpret_cast<Uint8*>(&pcm[i * 1024 * music.channels()]), 2048 * music.channels());
    return pcm;
  }
  // Plays at least `frames`, then lets the clock run a second on, and pauses.
  std::vector<int16_t> play(int frames) {
    music.setPaused(false);
    const std::vector<int16_t> pcm = pull((frames + 1023) / 1024);
    micros += 1000000;
    music.setPaused(true);
    return pcm;
  }
  uint64_t micros = 0;
  MusicStream music{[this] { return micros; }};
};

// One stream, played through three stereo and mono files, damaged ones and ones it cannot play.
TEST_F(MusicStreamTest, PlaysSeeksAndKeepsTimeOverAnyFile) {
  const std::string tones44 = writeTones(3000, 44100), tones22 = writeTones(4000, 22050), mono22 = writeTones(2000, 22050, 1);
  // Damaged data first: decoding goes on over up to seven gaps in a row (in the first file, where
  // the music ends at frame 132300), and the music ends at the eighth rather than search on (in
  // the second, at the gaps). Reopening the same stream then shows that a new file replaces the
  // old one in full.
  const struct { std::string file; int32_t rate, length, holes, heard; } files[] = {{tones44, 44100, 3000, 7, 132300},
                                                                                   {tones22, 22050, 4000, 8, 52608}};
  for (const auto& [file, rate, length, holes, heard] : files) {
    openPaused(withHoles(file, holes));
    EXPECT_NEAR(soundFrames(play(140000), 2), heard, 2048) << holes;
    music.setPosition(441000);
    openPaused(file);
    EXPECT_TRUE(music.sampleRate() == rate && music.channels() == 2 && music.getLength() == length && music.getTime() == 0);
    // Past the end (ms -1), the time stands at the length and nothing more is heard.
    const struct { uint32_t bytes; int32_t ms; } seeks[] = {{441000, 2500}, {176400, 1000}, {20 * 176400, -1}, {123480, 700}, {0, 0}};
    for (const auto& seek : seeks) {
      music.setPosition(seek.bytes);
      EXPECT_EQ(music.getTime(), seek.ms < 0 ? length : seek.ms) << seek.bytes;
      const std::vector<int16_t> played = play(1000);
      EXPECT_TRUE(seek.ms < 0 ? soundFrames(played, 2) == 0 : tonesFrom(played, static_cast<int64_t>(seek.ms) * rate / 1000)) << seek.bytes;
    }
    // Played into the end, the last 100 ms are followed by silence only, and the time stands at
    // the length.
    music.setPosition(static_cast<uint32_t>(length - 100) * 1764 / 10);
    EXPECT_NEAR(soundFrames(play(rate / 2), 2), rate / 10, 50);
    EXPECT_EQ(music.getTime(), length);
    // The decoder hands out a last frame that comes alone: seeked to it, it reads one frame.
    std::string error;
    const auto decoder = VorbisDecoder::open(file, &error);
    float last[2];
    EXPECT_TRUE(decoder && decoder->seek(decoder->lengthFrames() - 1) && decoder->read(last, 2) == 1) << error;
  }

  // The time heard is the last buffer's start plus the clock since the stream filled it, never
  // past that buffer's end and never back. Paused, the time stands; resumed, it neither skips the
  // rest of the buffer, decoded but not heard yet, nor goes back; a seek while playing is heard at
  // once.
  openPaused(mono22);
  EXPECT_TRUE(music.sampleRate() == 22050 && music.channels() == 1 && music.getLength() == 2000);
  music.setPosition(176400);  // frame 22050
  // Each step: pause, play or neither (1, 0, -1), buffers the device asks for, the clock moved on
  // (µs), the time heard then. The music opens paused.
  const struct { int paused, buffers, micros, ms; } steps[] = {
      {-1, 1, 10000, 1000},    {0, 0, 0, 1000},     {0, 1, 10000, 1009},  // frame 22270
      {0, 0, -5000, 1009},     {0, 0, 1000000, 1046},  // the buffer's end, frame 23074
      {0, 1, 10000, 1056},     {1, 0, 1000000, 1056}, {0, 0, 0, 1056}, {0, 0, 10000, 1066}};
  for (const auto& step : steps) {
    if (step.paused >= 0) music.setPaused(step.paused != 0);
    pull(step.buffers);
    micros += step.micros;
    EXPECT_EQ(music.getTime(), step.ms) << &step - steps;
  }
  music.setPosition(0);
  EXPECT_EQ(music.getTime(), 0);
  micros += 10000;
  EXPECT_EQ(music.getTime(), 0);  // nothing heard before the next buffer

  // A file it cannot play: one line on standard error naming it and the problem, then silence
  // whose time runs like music and whose length is unknown, so the end-of-music test never fires.
  // Eight channels are played.
  const struct { std::string path; const char* problem; } unplayable[] = {
      {tempPath("no-such-file.ogg"), "No such file or directory"}, {"/proc/self/exe", "not Ogg Vorbis data"},
      {writeTones(100, 44100, 9), "unsupported sample rate or channel count"}};
  for (const auto& f : unplayable) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(music.open(f.path.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "korvalin: " + f.path + ": " + f.problem + "; playing silence instead\n");
    EXPECT_TRUE(music.sampleRate() == 44100 && music.channels() == 2 && music.getLength() == INT32_MAX);
    music.setPosition(176400);
    EXPECT_EQ(soundFrames(play(44100), 2), 0);
    EXPECT_EQ(music.getTime(), (44100 + 44 * 1024) * 1000 / 44100);  // the silence played
  }
  EXPECT_TRUE(music.open(writeTones(100, 44100, 8).c_str()));
}

// Where no audio device works (ctest runs this under SDL's own driver order, a driver that does
// not exist and the dummy driver asked for): a fallback says so in one line of ours, once even
// when F1 opens the music again, and the audio library says nothing; asking for silence, or having
// sound, prints nothing. With no audio output at all, not even on SDL's dummy driver, the time runs
// on the clock alone up to the music's end. The device is an output of 16-bit samples in the
// music's own rate and channels, with no changes allowed (SDL converts for the card), in buffers
// of 1024 frames, so that sound follows a seek within some 23 ms.
TEST(MusicSilenceTest, NoDeviceIsReportedInOneLineOnceAndTheClockKeepsTime) {
  const std::string path = writeTones(1000, 22050, 1);
  const char* asked = std::getenv("SDL_AUDIODRIVER");
  for (Audio audio : {kRealAudio, kNoDevice, kNoAudioSystem}) {
    gAudio = audio;
    gDevicesAsked.clear();
    ::testing::internal::CaptureStderr();
    std::string driver;
    uint64_t micros = 0;
    {
      MusicStream music([&] { return micros; });
      EXPECT_EQ(music.audioDriver(), "");  // nothing open yet
      for (int open = 0; open < 2; ++open) {
        EXPECT_TRUE(music.open(path.c_str()));  // SDL's audio started on the way if need be
        // Whatever failed, the dummy driver keeps time where it can open a device.
        EXPECT_EQ((driver = music.audioDriver()).empty(), audio != kRealAudio) << audio;
        music.setPaused(false);
        if (audio == kRealAudio) {
          for (int wait = 0; wait < 10000 && music.getTime() == 0; ++wait) SDL_Delay(1);
          EXPECT_GT(music.getTime(), 0);  // the device's own thread plays
        } else {
          micros += 5000000;
          EXPECT_EQ(music.getTime(), 1000) << audio;
          music.setPosition(88200);
          micros += 100000;
          EXPECT_EQ(music.getTime(), 600) << audio;
        }
        music.init();
      }
    }
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);  // stopped with the stream, however often started
    const bool reported = audio != kRealAudio || (driver == "dummy" && (asked == nullptr || std::string(asked) != "dummy"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              reported ? "korvalin: no audio device; the music plays silently\n" : "") << driver;
    EXPECT_EQ(gDevicesAsked.empty(), audio == kNoAudioSystem);  // no device asked of audio that is not there
    for (const std::string& device : gDevicesAsked) EXPECT_EQ(device, "0 0 " + std::to_string(AUDIO_S16LSB) + " 1024 22050 1");
  }
}

}  // namespace
}  // namespace korvalin
