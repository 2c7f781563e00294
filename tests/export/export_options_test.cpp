// The export's command line and the span of frames it asks for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/export_options.h"

namespace korvalin {
namespace {

ExportCommand parse(std::vector<const char*> args, ExportOptions* options, std::string* error) {
  args.insert(args.begin(), "korvalin");
  return parseExportCommand(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(ExportOptions, GoodLines) {
  ExportOptions o, w;
  std::string error;
  ASSERT_EQ(parse({"--export", "out.MP4"}, &o, &error), ExportCommand::kExport) << error;
  EXPECT_TRUE(o.output == "out.MP4" && o.container->container == VideoContainer::kMp4 && o.fps == 60 &&
              o.scale == 1 && o.crf == 18 && !o.haveFrom && !o.haveTo && !o.force);
  ASSERT_EQ(parse({"--fps", "240", "--scale", "4", "--crf", "63", "--from", "0", "--to", "1.25e1", "--force",
                   "--export", "dir.v1/a.webm"}, &w, &error), ExportCommand::kExport) << error;
  EXPECT_TRUE(w.container->container == VideoContainer::kWebm && w.fps == 240 && w.scale == 4 && w.crf == 63);
  EXPECT_TRUE(w.haveFrom && w.haveTo && w.force && w.from == 0.0 && w.to == 12.5);
  ASSERT_EQ(parse({"--export", "a.mkv", "--fps", "24", "--crf", "0", "--scale", "1"}, &o, &error), ExportCommand::kExport);
  EXPECT_TRUE(o.container->container == VideoContainer::kMkv && o.fps == 24 && o.crf == 0 && o.scale == 1);
  EXPECT_EQ(parse({"--export", "a.avi", "--help"}, &o, &error), ExportCommand::kHelp);
  EXPECT_EQ(parse({"--export", "--version"}, &o, &error), ExportCommand::kVersion);
  const char* player[] = {"korvalin", "--windowed", "--editor", "--export"};
  EXPECT_TRUE(!isExportCommand(3, player) && isExportCommand(4, player));
}

TEST(ExportOptions, BadLinesAreOneLineNamingTheProblem) {
  const struct {
    std::vector<const char*> args;
    const char* says;
  } cases[] = {
      {{"--export"}, "--export needs a file name"},
      {{"--fps", "30"}, "--export needs a file name"},
      {{"--export", "a.avi"}, "a.avi: unknown kind of video file (use .mp4, .mkv or .webm)"},
      {{"--export", "mp4"}, "mp4: unknown kind"},
      {{"--export", "v.mp4/clip"}, "v.mp4/clip: unknown kind"},
      {{"--export", "a.mp4", "--fps", "23"}, "--fps 23: must be a whole number from 24 to 240"},
      {{"--export", "a.mp4", "--fps", "30.5"}, "--fps 30.5:"},
      {{"--export", "a.mp4", "--fps", ""}, "--fps :"},
      {{"--export", "a.mp4", "--fps", "0000030"}, "--fps 0000030:"},
      {{"--export", "a.mp4", "--scale", "0"}, "--scale 0: must be a whole number from 1 to 4"},
      {{"--export", "a.mp4", "--scale", "5"}, "--scale 5:"},
      {{"--export", "a.mp4", "--crf", "52"}, "--crf 52: must be a whole number from 0 to 51 for .mp4"},
      {{"--export", "a.webm", "--crf", "64"}, "--crf 64: must be a whole number from 0 to 63 for .webm"},
      {{"--export", "a.mp4", "--from", "-1"}, "--from -1: must be a number of seconds, 0 or more"},
      {{"--export", "a.mp4", "--to", "+1"}, "--to +1:"},
      {{"--export", "a.mp4", "--from", "0x10"}, "--from 0x10:"},
      {{"--export", "a.mp4", "--from", "1e"}, "--from 1e:"},
      {{"--export", "a.mp4", "--to", ""}, "--to :"},
      {{"--export", "a.mp4", "--to", "1e999"}, "--to 1e999:"},
      {{"--export", "a.mp4", "--from", "5", "--to", "5"}, "--from 5 must be before --to 5"},
      {{"--export", "a.mp4", "--windowed"}, "unknown option '--windowed' for --export"},
      {{"--export", "a.mp4", "--fps"}, "--fps needs a value"},
  };
  for (const auto& c : cases) {
    ExportOptions o;
    std::string error;
    EXPECT_EQ(parse(c.args, &o, &error), ExportCommand::kBadUsage) << c.says;
    EXPECT_TRUE(error.rfind(c.says, 0) == 0 && error.find('\n') == std::string::npos) << error;
  }
}

TEST(ExportRange, FramesCoverTheSpanInsideTheEnd) {
  const struct {
    bool haveFrom, haveTo;
    double from, to;
    int64_t frames;  // 0: refused with `says`
    const char* says;
  } spans[] = {
      {false, false, 0, 0, 4680, ""}, {true, true, 10, 12, 60, ""}, {true, true, 0, 1.0 / 3.0, 10, ""},
      {true, false, 155.99, 0, 1, ""}, {true, true, 1, 1.01, 1, ""}, {true, true, 0.5, 0.55, 2, ""},
      {true, false, 156, 0, 0, "--from 156 is not before the end of the music (156.000 s)"},
      {false, true, 0, 156.5, 0, "--to 156.5 is past the end of the music (156.000 s)"},
      {false, true, 0, 0, 0, "--to 0 must be after --from 0"},
  };
  for (const auto& s : spans) {
    ExportOptions o;
    o.fps = 30;
    o.haveFrom = s.haveFrom, o.haveTo = s.haveTo, o.from = s.from, o.to = s.to;
    ExportRange range;
    std::string error;
    EXPECT_EQ(resolveExportRange(o, 156.0, "the music", &range, &error), s.frames > 0) << error;
    EXPECT_EQ(range.frames, s.frames) << s.from;
    EXPECT_EQ(error, s.says);
    EXPECT_TRUE(range.from == (s.haveFrom && s.frames ? s.from : 0) && range.to == (s.frames == 0 ? 0 : s.haveTo ? s.to : 156));
  }
}

}  // namespace
}  // namespace korvalin
