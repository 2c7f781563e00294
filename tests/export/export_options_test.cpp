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

TEST(ExportOptions, DefaultsAndEveryOption) {
  ExportOptions o;
  std::string error;
  ASSERT_EQ(parse({"--export", "out.MP4"}, &o, &error), ExportCommand::kExport) << error;
  EXPECT_EQ(o.output, "out.MP4");
  EXPECT_TRUE(o.container->container == VideoContainer::kMp4 && o.fps == 60 && o.scale == 1 && o.crf == 18);
  EXPECT_FALSE(o.haveFrom || o.haveTo || o.force);

  ExportOptions w;
  ASSERT_EQ(parse({"--fps", "240", "--scale", "4", "--crf", "63", "--from", "10", "--to", "12.5",
                   "--force", "--export", "dir.v1/a.webm"},
                  &w, &error),
            ExportCommand::kExport)
      << error;
  EXPECT_TRUE(w.container->container == VideoContainer::kWebm && w.fps == 240 && w.scale == 4 && w.crf == 63);
  EXPECT_TRUE(w.haveFrom && w.haveTo && w.force && w.from == 10.0 && w.to == 12.5);

  ASSERT_EQ(parse({"--export", "a.mkv", "--fps", "24", "--crf", "0"}, &o, &error), ExportCommand::kExport);
  EXPECT_EQ(o.container->container, VideoContainer::kMkv);
  EXPECT_TRUE(o.fps == 24 && o.crf == 0);
}

TEST(ExportOptions, BadUsageIsOneLineNamingTheProblem) {
  const struct {
    std::vector<const char*> args;
    const char* says;
  } cases[] = {
      {{"--export"}, "--export needs a file name"},
      {{"--export", "a.avi"}, "a.avi: unknown kind of video file (use .mp4, .mkv or .webm)"},
      {{"--export", "mp4"}, "mp4: unknown kind"},
      {{"--export", "v.mp4/clip"}, "v.mp4/clip: unknown kind"},
      {{"--export", "a.mp4", "--fps", "23"}, "--fps 23: must be a whole number from 24 to 240"},
      {{"--export", "a.mp4", "--fps", "241"}, "--fps 241:"},
      {{"--export", "a.mp4", "--fps", "30.5"}, "--fps 30.5:"},
      {{"--export", "a.mp4", "--scale", "0"}, "--scale 0: must be a whole number from 1 to 4"},
      {{"--export", "a.mp4", "--scale", "5"}, "--scale 5:"},
      {{"--export", "a.mp4", "--crf", "52"}, "--crf 52: must be a whole number from 0 to 51 for .mp4"},
      {{"--export", "a.webm", "--crf", "64"}, "--crf 64: must be a whole number from 0 to 63 for .webm"},
      {{"--export", "a.mp4", "--from", "-1"}, "--from -1: must be a number of seconds, 0 or more"},
      {{"--export", "a.mp4", "--from", "0x10"}, "--from 0x10:"},
      {{"--export", "a.mp4", "--to", "1e999"}, "--to 1e999:"},
      {{"--export", "a.mp4", "--from", "12", "--to", "10"}, "--from 12 must be before --to 10"},
      {{"--export", "a.mp4", "--from", "5", "--to", "5"}, "--from 5 must be before --to 5"},
      {{"--export", "a.mp4", "--windowed"}, "unknown option '--windowed' for --export"},
      {{"--export", "a.mp4", "--fps"}, "--fps needs a value"},
  };
  for (const auto& c : cases) {
    ExportOptions o;
    std::string error;
    EXPECT_EQ(parse(c.args, &o, &error), ExportCommand::kBadUsage) << c.says;
    EXPECT_EQ(error.rfind(c.says, 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST(ExportOptions, HelpAndVersionWinAndOnlyExportLinesAreExports) {
  const char* player[] = {"korvalin", "--windowed", "--editor"};
  const char* exporting[] = {"korvalin", "--windowed", "--export", "a.mp4"};
  EXPECT_FALSE(isExportCommand(3, player));
  EXPECT_TRUE(isExportCommand(4, exporting));
  ExportOptions o;
  std::string error;
  EXPECT_EQ(parse({"--export", "a.avi", "--help"}, &o, &error), ExportCommand::kHelp);
  EXPECT_EQ(parse({"--export", "--version"}, &o, &error), ExportCommand::kVersion);
}

TEST(ExportRange, FramesCoverTheSpanInsideTheEnd) {
  ExportOptions o;
  o.fps = 30;
  ExportRange range;
  std::string error;
  ASSERT_TRUE(resolveExportRange(o, 156.0, "the music", &range, &error));
  EXPECT_EQ(range.from, 0.0);
  EXPECT_EQ(range.to, 156.0);
  EXPECT_EQ(range.frames, 4680);

  o.haveFrom = o.haveTo = true;
  const struct {
    double from, to;
    int64_t frames;
  } spans[] = {{10, 12, 60}, {0, 1.0 / 3.0, 10}, {155.99, 156, 1}, {1, 1.01, 1}, {0.5, 0.55, 2}};
  for (const auto& s : spans) {
    o.from = s.from;
    o.to = s.to;
    ASSERT_TRUE(resolveExportRange(o, 156.0, "the music", &range, &error)) << error;
    EXPECT_EQ(range.frames, s.frames) << s.from << " to " << s.to;
  }

  const struct {
    bool haveFrom, haveTo;
    double from, to;
    const char* says;
  } refused[] = {
      {true, false, 156, 0, "--from 156 is not before the end of the music (156.000 s)"},
      {false, true, 0, 156.5, "--to 156.5 is past the end of the music (156.000 s)"},
      {false, true, 0, 0, "--to 0 must be after --from 0"},
  };
  for (const auto& r : refused) {
    o.haveFrom = r.haveFrom;
    o.haveTo = r.haveTo;
    o.from = r.from;
    o.to = r.to;
    EXPECT_FALSE(resolveExportRange(o, 156.0, "the music", &range, &error));
    EXPECT_EQ(error, r.says);
  }
}

}  // namespace
}  // namespace korvalin
