// semhost driven in-process as its command line drives it: what info and
// render print and write, and that every bad input ends with a message that
// names the file and the reason, a non-zero exit, and no file written but
// the named output.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "plugins.h"
#include "semhost.h"
#include "wav.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int code;
  std::string out, err;
};

Outcome invoke(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = semhost::run_semhost(args, out, err);
  return {code, out.str(), err.str()};
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

typedef std::map<std::string, std::string> Snapshot;  // file name -> contents

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device random;
    m_path = fs::temp_directory_path() / ("semhost_test_" + std::to_string(random()));
    fs::create_directories(m_path);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  std::string file(const std::string& name) const { return (m_path / name).string(); }
  Snapshot snapshot() const {
    Snapshot files;
    for (const auto& entry : fs::directory_iterator(m_path)) {
      std::ifstream in(entry.path(), std::ios::binary);
      files[entry.path().filename().string()] =
          std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
  }

 private:
  fs::path m_path;
};

void write_text(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

void write_wav(const std::string& path, uint32_t rate, int channels, std::vector<float> samples) {
  wav::Audio audio;
  audio.sample_rate = rate;
  audio.channels = channels;
  audio.samples = std::move(samples);
  std::string error;
  ASSERT_TRUE(wav::write_float_file(path, audio, &error)) << error;
}

wav::Audio read_wav(const std::string& path) {
  wav::Audio audio;
  std::string error;
  EXPECT_TRUE(wav::read_file(path, &audio, &error)) << error;
  return audio;
}

std::string plugin(int inputs) { return ringtest::plugin_path(inputs); }

// The rows of info's pin table, split into their columns.
std::vector<std::vector<std::string>> pin_rows(const std::string& out) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(out);
  std::string line;
  bool in_table = false;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::vector<std::string> row;
    for (std::string word; words >> word;) row.push_back(word);
    if (in_table && !row.empty()) rows.push_back(row);
    if (!row.empty() && row[0] == "index") in_table = true;
  }
  return rows;
}

class SemhostRender : public testing::Test {
 protected:
  std::string out_path() const { return dir.file("out.wav"); }
  ScratchDir dir;
};

}  // namespace

// ---- info ---------------------------------------------------------------------

TEST(SemhostInfo, PrintsTheTextsAndThePinTable) {
  const Outcome run = invoke({"info", plugin(3)});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(has(run.out, "name:        KVD Ring 03\n")) << run.out;
  EXPECT_TRUE(has(run.out, "unique id:   KVD Tripple ring modulator\n")) << run.out;
  EXPECT_TRUE(has(run.out, "about:       by Tarnwick\n")) << run.out;
  const std::vector<std::vector<std::string>> expected = {
      {"0", "A", "in", "audio", "\"0\""},
      {"1", "B", "in", "audio", "\"5\""},
      {"2", "C", "in", "audio", "\"5\""},
      {"3", "Out", "out", "audio", "(none)"},
  };
  EXPECT_EQ(pin_rows(run.out), expected);
  EXPECT_EQ(run.err, "");
}

TEST(SemhostInfo, ShowsEachBuildsDefaultOfG) {
  for (const auto& [inputs, g_default] : std::vector<std::pair<int, std::string>>{
           {8, "\"5\""}, {12, "\"0\""}, {16, "\"0\""}}) {
    const Outcome run = invoke({"info", plugin(inputs)});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto rows = pin_rows(run.out);
    ASSERT_EQ(rows.size(), size_t(inputs + 1));
    EXPECT_EQ(rows[6], (std::vector<std::string>{"6", "G", "in", "audio", g_default})) << inputs;
    EXPECT_EQ(rows[inputs][1], "Out");
  }
}

// ---- render -------------------------------------------------------------------

TEST_F(SemhostRender, ConstantsGiveTheProductInEveryBlock) {
  const Outcome run = invoke({"render", plugin(3), "-o", out_path(), "--input", "A=const:0.5",
                           "--input", "B=const:0.25", "-i", "C=const:2", "--rate", "48000",
                           "--block", "7", "--samples", "100"});
  ASSERT_EQ(run.code, 0) << run.err;
  const wav::Audio audio = read_wav(out_path());
  EXPECT_EQ(audio.sample_rate, 48000u);
  EXPECT_EQ(audio.channels, 1);
  EXPECT_EQ(audio.samples, std::vector<float>(100, 0.25f));
  EXPECT_TRUE(has(run.out, "Out stream state: static\n")) << run.out;
  EXPECT_TRUE(has(run.out, "100 samples at 48000 Hz")) << run.out;
}

TEST_F(SemhostRender, SineThroughTheTwoInputBuild) {
  const Outcome run = invoke({"render", plugin(2), "-o", out_path(), "--input=A=sine:1000:0.5",
                           "--input=B=const:0.25", "--rate=8000", "--seconds=0.01"});
  ASSERT_EQ(run.code, 0) << run.err;
  const wav::Audio audio = read_wav(out_path());
  ASSERT_EQ(audio.samples.size(), 80u);
  for (size_t n = 0; n < audio.samples.size(); ++n) {
    const float a = float(0.5 * std::sin(6.283185307179586 * 1000.0 * double(n) / 8000.0));
    EXPECT_NEAR(audio.samples[n], a * 0.75, 1e-6) << n;
  }
  EXPECT_TRUE(has(run.out, "Out stream state: running\n")) << run.out;
}

// The stream state printed is what the module announced for its output.
TEST_F(SemhostRender, PrintsTheAnnouncedOutputState) {
  struct Case {
    std::vector<std::string> inputs;
    const char* state;
  };
  const std::vector<Case> cases = {
      {{"A=sine:440", "B=const:0.5", "C=const:0.5"}, "running"},
      {{"A=sine:440", "B=silence", "C=const:0.5"}, "one-shot"},
      {{"A=const:0.2", "B=const:0.5", "C=const:-1"}, "static"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"render", plugin(3), "-o", out_path(), "--samples", "64"};
    for (const std::string& input : c.inputs) args.insert(args.end(), {"--input", input});
    const Outcome run = invoke(args);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(has(run.out, std::string("Out stream state: ") + c.state + "\n"))
        << c.inputs[1] << "\n" << run.out;
  }
}

// An input nobody names holds its pin's default value, unless --others says.
TEST_F(SemhostRender, UnnamedInputsHoldTheirDefaultOrTheOthersSource) {
  Outcome run = invoke({"render", plugin(3), "-o", out_path(), "--input", "A=const:0.5",
                     "--samples", "10"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(read_wav(out_path()).samples, std::vector<float>(10, 12.5f));
  EXPECT_TRUE(has(run.out, "B  constant 5 (default), static")) << run.out;

  run = invoke({"render", plugin(16), "-o", out_path(), "--input", "A=const:0.5", "--others",
                 "const:1", "--samples", "10"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(read_wav(out_path()).samples, std::vector<float>(10, 0.5f));
}

TEST_F(SemhostRender, FileInputSetsRateAndLengthAndEndsInSilence) {
  const std::string input = dir.file("in.wav");
  write_wav(input, 8000, 1, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f});
  Outcome run = invoke({"render", plugin(2), "-o", out_path(), "--input", "A=" + input,
                     "--input", "B=const:0"});
  ASSERT_EQ(run.code, 0) << run.err;
  wav::Audio audio = read_wav(out_path());
  EXPECT_EQ(audio.sample_rate, 8000u);
  EXPECT_EQ(audio.samples, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.5f}));

  // Past its end the file is silence, and the host says so: A holds at 0.
  run = invoke({"render", plugin(3), "-o", out_path(), "--input", "A=" + input, "--others",
                 "const:1", "--samples", "8", "--block", "3"});
  ASSERT_EQ(run.code, 0) << run.err;
  audio = read_wav(out_path());
  EXPECT_EQ(audio.samples, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0, 0, 0}));
  EXPECT_TRUE(has(run.out, "Out stream state: running from sample 0, one-shot from sample 5\n"))
      << run.out;
}

TEST_F(SemhostRender, ReplacesAnEarlierOutputAndWritesNothingElse) {
  const std::string input = dir.file("in.wav");
  write_wav(input, 44100, 1, {0.5f, 0.5f});
  write_text(out_path(), "an older render");
  const Snapshot before = dir.snapshot();
  const Outcome run = invoke({"render", plugin(2), "-o", out_path(), "--input", "A=" + input});
  ASSERT_EQ(run.code, 0) << run.err;
  Snapshot after = dir.snapshot();
  EXPECT_NE(after["out.wav"], before.at("out.wav"));
  after["out.wav"] = before.at("out.wav");
  EXPECT_EQ(after, before);
}

// ---- errors -------------------------------------------------------------------

TEST(SemhostErrors, EveryBadInputNamesFileAndReasonAndWritesNothing) {
  ScratchDir dir;
  const std::string out = dir.file("out.wav");
  const std::string text = dir.file("notes.txt");
  write_text(text, "not a library, not a WAV file");
  const std::string bad_wav = dir.file("bad.wav");
  write_text(bad_wav, "RIFF....WAVEjunk");
  const std::string deep_wav = dir.file("deep.wav");
  {
    // 24-bit PCM: a WAV file, but not one that is read.
    const unsigned char header[] = {'R', 'I', 'F', 'F', 39, 0, 0, 0, 'W', 'A', 'V', 'E',
                                    'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
                                    0x40, 0x1F, 0, 0, 0xC0, 0x5D, 0, 0, 3, 0, 24, 0,
                                    'd', 'a', 't', 'a', 3, 0, 0, 0, 1, 2, 3};
    std::ofstream(deep_wav, std::ios::binary)
        .write(reinterpret_cast<const char*>(header), sizeof header);
  }
  const std::string stereo = dir.file("stereo.wav");
  write_wav(stereo, 44100, 2, {0, 0, 0, 0});
  const std::string at_8k = dir.file("at8k.wav");
  write_wav(at_8k, 8000, 1, {0.5f});
  const std::string empty = dir.file("empty.wav");
  write_wav(empty, 44100, 1, {});
  const std::string module_copy = dir.file("copy.sem");
  fs::copy_file(plugin(3), module_copy);
  // The same library, marked as built for x86-64.
  const std::string wide = dir.file("wide.sem");
  {
    std::ifstream in(plugin(3), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
#if defined(_WIN32)
    const size_t machine = size_t(uint8_t(bytes[0x3C]) | uint8_t(bytes[0x3D]) << 8) + 4;
    bytes[machine] = char(0x64);
    bytes[machine + 1] = char(0x86);
#else
    bytes[18] = 62;
#endif
    write_text(wide, bytes);
  }
  const std::string missing = dir.file("missing.sem");
  const std::string missing_wav = dir.file("missing.wav");
  const std::string nowhere = dir.file("no-such-dir/out.wav");
  const std::string not_a_module = SEMHOST_NOT_A_MODULE;
  const std::string ring3 = plugin(3);

  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> message;  // every part must appear in the error output
    int code;
  };
  const std::vector<Case> cases = {
      // command line
      {{}, {"no command given"}, 2},
      {{"play", ring3}, {"unknown command 'play'"}, 2},
      {{"info"}, {"info needs a module file"}, 2},
      {{"info", ring3, "extra"}, {"unexpected argument 'extra'"}, 2},
      {{"render", ring3, "-o", out, "--volume", "3"}, {"unknown option '--volume'"}, 2},
      {{"render", ring3, "-o", out, "--rate"}, {"option --rate needs a value"}, 2},
      {{"render", ring3, "--input", "A=silence"}, {"render needs an output file"}, 2},
      {{"render", ring3, "-o", out, "--rate", "0"}, {"--rate '0' is not a sample rate"}, 2},
      {{"render", ring3, "-o", out, "--rate", "44.1k"}, {"--rate '44.1k'"}, 2},
      {{"render", ring3, "-o", out, "--block", "0"}, {"--block '0' is not a block size"}, 2},
      {{"render", ring3, "-o", out, "--block", "99999999"}, {"--block '99999999'"}, 2},
      {{"render", ring3, "-o", out, "--seconds", "-1"}, {"--seconds '-1' is not a length"}, 2},
      {{"render", ring3, "-o", out, "--samples", "1.5"}, {"--samples '1.5' is not a length"}, 2},
      {{"render", ring3, "-o", out, "--seconds", "1", "--samples", "5"}, {"not both"}, 2},
      {{"render", ring3, "-o", out, "--rate", "8000", "--rate", "8000"},
       {"option --rate is given twice"}, 2},
      {{"render", ring3, "-o", out, "--input", "A"}, {"write --input PIN=SOURCE"}, 2},
      {{"render", ring3, "-o", out, "--input", "A=sine:fast"}, {"'sine:fast' is not a sine"}, 2},
      {{"render", ring3, "-o", out, "--input", "A=sine:-5"}, {"'sine:-5' is not a sine"}, 2},
      {{"render", ring3, "-o", out, "--input", "A=const:"}, {"'const:' is not a constant"}, 2},
      {{"render", ring3, "-o", out, "--input", "A=const:1e99"}, {"is not a constant"}, 2},
      {{"render", ring3, "-o", out, "-i", "A=silence", "-i", "A=silence"},
       {"input A is given twice"}, 2},
      // the module file
      {{"info", missing}, {missing + ": no such file"}, 1},
      {{"render", missing, "-o", out}, {missing + ": no such file"}, 1},
      {{"info", dir.file("")}, {"is a directory"}, 1},
      {{"info", text}, {text + ": cannot load: not a"}, 1},
      {{"info", wide}, {wide + ": cannot load: not a 32-bit x86 library"}, 1},
      {{"render", not_a_module, "-o", out}, {not_a_module + ": not a module"}, 1},
      // inputs
      {{"render", ring3, "-o", out, "--input", "Z=silence"},
       {"unknown input 'Z'", ring3, "A, B, C"}, 1},
      {{"render", ring3, "-o", out, "--input", "Out=silence"}, {"unknown input 'Out'"}, 1},
      {{"render", ring3, "-o", out, "--input", "a=silence"}, {"unknown input 'a'"}, 1},
      {{"render", ring3, "-o", out, "--input", "A=" + missing_wav},
       {missing_wav + ": cannot open"}, 1},
      {{"render", ring3, "-o", out, "--input", "A=" + bad_wav},
       {bad_wav + ": malformed WAV: no fmt chunk"}, 1},
      {{"render", ring3, "-o", out, "--input", "A=" + deep_wav},
       {deep_wav + ": unsupported WAV: 24-bit PCM"}, 1},
      {{"render", ring3, "-o", out, "--input", "A=" + stereo},
       {stereo + ": has 2 channels; an input takes a mono file"}, 1},
      {{"render", ring3, "-o", out, "--rate", "48000", "--input", "A=" + at_8k},
       {at_8k + ": its sample rate of 8000 Hz differs from the render's 48000 Hz"}, 1},
      {{"render", ring3, "-o", out, "--input", "A=" + at_8k, "--input", "B=" + stereo},
       {stereo + ": has 2 channels"}, 1},
      {{"render", ring3, "-o", out, "--input", "A=" + empty}, {"nothing to render"}, 1},
      {{"render", ring3, "-o", out, "--seconds", "100000000"}, {"too long"}, 1},
      // the output
      {{"render", ring3, "-o", at_8k, "--input", "A=" + at_8k},
       {at_8k + ": is also an input file"}, 1},
      {{"render", module_copy, "-o", module_copy}, {module_copy + ": is the module file itself"}, 1},
      {{"render", ring3, "-o", nowhere}, {nowhere + ": cannot write"}, 1},
      {{"render", ring3, "-o", dir.file("")}, {"is a directory"}, 1},
  };

  const Snapshot before = dir.snapshot();
  for (const Case& c : cases) {
    std::string command;
    for (const std::string& arg : c.args) command += " " + arg;
    SCOPED_TRACE("semhost" + command);
    const Outcome run = invoke(c.args);
    EXPECT_EQ(run.code, c.code) << run.err;
    EXPECT_EQ(run.err.rfind("semhost: ", 0), 0u) << run.err;
    for (const std::string& part : c.message) EXPECT_TRUE(has(run.err, part)) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(dir.snapshot(), before);
  }
}

TEST(SemhostHelp, PrintsUsageAndSucceeds) {
  const Outcome run = invoke({"help"});
  EXPECT_EQ(run.code, 0);
  EXPECT_TRUE(has(run.out, "semhost render FILE.sem -o OUT.wav")) << run.out;
  EXPECT_TRUE(has(run.out, "sine:FREQ[:LEVEL]")) << run.out;
}
