// Result files: description and data layouts, band totals, names, overwrite confirmation and
// failures that must not end the program.
#include <fstream>
#include <iterator>
#include <sstream>

#include <iconv.h>

#include "analyzer/save.h"
#include "fixture.h"

namespace {

using veltra_test::VeltraTest;

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

std::string FromCp1251(const std::string& s) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  std::string out(s.size() * 2 + 1, '\0');
  char* in = const_cast<char*>(s.data());
  size_t inLeft = s.size(), outLeft = out.size();
  char* o = out.data();
  iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

class Results : public VeltraTest {
 protected:
  // Window w shows `count` points x = j, y = 10 j.
  static void Fill(int w, int count, int function, int format, int yUnit, int xUnit) {
    ViewState& v = vs[w];
    v.function = function;
    v.format = format;
    v.yUnit = yUnit;
    v.xUnit = xUnit;
    v.count = count;
    for (int j = 0; j < count; ++j) {
      v.xData[j] = j;
      v.yData[j] = 10.0 * j;
    }
  }
  static std::string Path(const char* name) { return veltra_test::ScratchDir() + "/" + name; }
  static void Target(const std::string& path) {
    std::snprintf(result_name, sizeof result_name, "%s", path.c_str());
  }
};

TEST_F(Results, DescriptionNamesTheInputOfTheWindowsChannel) {
  rcu.chanA = 3;
  rcu.chanB = 5;
  std::snprintf(cch.dim[3], sizeof cch.dim[3], "%s", "Па");
  std::snprintf(cch.dim[0], sizeof cch.dim[0], "%s", "В");
  cch.upc[3] = 2.0;
  cch.sen[3] = 50.0;
  cch.lo[3] = 2e-5;
  sp.powerA = 1.0;
  rcu.avgTarget = 12;
  Fill(0, 512, 0, -1, 4, 2);
  const std::string path = Path("spectrum.txt");
  Target(path);
  ASSERT_EQ(SaveInfData(0), 1);
  const std::string inf = FromCp1251(ReadFile(Path("spectrum.inf")));
  std::ostringstream want;
  want << "SpectrumA\n"
       << "N=512; Total=2.000e+00,Dim=Па\n"
       << "Y: " << Yunit[4] << ";\n"
       << "X: " << Xunit[2] << ".\n"
       << "Average=12; sen=5.000e+01,mV/Па; Lo=2.000e-05,Па.\n";
  EXPECT_EQ(inf, want.str());
}

TEST_F(Results, FormatNameFollowsTheFunction) {
  rcu.chanB = 1;
  Fill(1, 3, 10, 2, 0, 2);
  Target(Path("h1.txt"));
  ASSERT_EQ(SaveInfData(1), 1);
  const std::string inf = FromCp1251(ReadFile(Path("h1.inf")));
  EXPECT_EQ(inf.substr(0, inf.find('\n')), "FreqRespH1: Mag.");
}

TEST_F(Results, DataLinesAndBandTotal) {
  Fill(0, 3, 0, -1, 2, 2);
  Target(Path("lines.txt"));
  ASSERT_EQ(SaveInfData(0), 1);
  EXPECT_EQ(ReadFile(Path("lines.txt")),
            "0.00000e+00 0.00000e+00 \n1.00000e+00 1.00000e+01 \n2.00000e+00 2.00000e+01 \n");

  Fill(1, 33, 1, -1, 2, 4);  // third-octave bands: 32 bands and their total
  Target(Path("bands.txt"));
  ASSERT_EQ(SaveInfData(1), 1);
  const std::string data = ReadFile(Path("bands.txt"));
  int lines = 0;
  for (char c : data) lines += c == '\n';
  EXPECT_EQ(lines, 33);
  EXPECT_NE(data.find("3.10000e+01 3.10000e+02 \nYsum=3.20000e+02 \n"), std::string::npos);
}

TEST(InfPath, ExtensionReplacedOrAddedInTheSameFolder) {
  char out[64];
  const char* cases[][2] = {
      {"a.txt", "a.inf"},
      {"a.rin", "a.inf"},
      {"a.tx", "a.inf"},
      {"sub/ab", "sub/ab.inf"},
      {"sine1k", "sine1k.inf"},
      {"d.v2/run", "d.v2/run.inf"},
      {"d/.hidden", "d/.hidden.inf"},
      {"x.tar.gz", "x.tar.inf"},
      {"/r/resultinf", "/r/resultinf.inf"},
  };
  for (const auto& c : cases) {
    InfPathFor(c[0], out, sizeof out);
    EXPECT_STREQ(out, c[1]) << c[0];
  }
}

TEST_F(Results, FileThatCannotBeCreatedIsReportedAndTheProgramGoesOn) {
  Fill(0, 3, 0, -1, 2, 2);
  Target(Path("no-such-dir/x.txt"));
  EXPECT_EQ(SaveInfData(0), 0);
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_EQ(Seen()[0].title, "Файл описания");
  EXPECT_EQ(Seen()[0].text, "CAN'T OPEN FILE !!!");
}

TEST_F(Results, SaveButtonAsksBeforeOverwriting) {
  Fill(0, 3, 0, -1, 2, 2);
  const std::string path = Path("keep.txt");
  { std::ofstream(path) << "old"; }
  veltra_test::Popups().fileAnswers.push_back(path);
  veltra_test::Popups().confirmAnswer = VAL_NO;
  Press("SaveButton1");
  EXPECT_EQ(ReadFile(path), "old");
  ASSERT_FALSE(Seen().empty());
  EXPECT_EQ(Seen().back().kind, POPUP_CONFIRM);

  veltra_test::Popups().fileAnswers.push_back(path);
  veltra_test::Popups().confirmAnswer = VAL_YES;
  Press("SaveButton1");
  EXPECT_NE(ReadFile(path), "old");
}

TEST_F(Results, ExistingDescriptionNeedsItsOwnConfirmation) {
  Fill(0, 3, 0, -1, 2, 2);
  { std::ofstream(Path("rec.inf")) << "recording header"; }
  veltra_test::Popups().fileAnswers.push_back(Path("rec.txt"));
  veltra_test::Popups().confirmAnswer = VAL_NO;
  Press("SaveButton1");
  EXPECT_EQ(ReadFile(Path("rec.inf")), "recording header");
  EXPECT_EQ(GetFileInfo(Path("rec.txt").c_str(), nullptr), 0);
}

TEST_F(Results, DataFileNamedInfIsRefused) {
  Fill(0, 3, 0, -1, 2, 2);
  veltra_test::Popups().fileAnswers.push_back(Path("bad.inf"));
  Press("SaveButton2");
  EXPECT_EQ(GetFileInfo(Path("bad.inf").c_str(), nullptr), 0);
  ASSERT_FALSE(Seen().empty());
  EXPECT_EQ(Seen().back().kind, POPUP_MESSAGE);
  // A name without an extension gets its description beside it, whatever its letters.
  const size_t before = Seen().size();
  Target(Path("resultinf"));
  EXPECT_EQ(SaveInfData(0), 1);
  EXPECT_EQ(GetFileInfo(Path("resultinf").c_str(), nullptr), 1);
  EXPECT_EQ(GetFileInfo(Path("resultinf.inf").c_str(), nullptr), 1);
  EXPECT_EQ(Seen().size(), before);
}

TEST_F(Results, DialogNameWithoutExtensionIsATextFileAndTheStatusLineSaysWhere) {
  Fill(0, 3, 0, -1, 2, 2);
  veltra_test::Popups().fileAnswers.push_back(Path("plain"));
  Press("SaveButton1");
  EXPECT_EQ(GetFileInfo(Path("plain.txt").c_str(), nullptr), 1);
  EXPECT_EQ(GetFileInfo(Path("plain.inf").c_str(), nullptr), 1);
  EXPECT_EQ(GetFileInfo(Path("plain").c_str(), nullptr), 0);
  char status[1024] = "";
  GetCtrlVal(mainpanel, MAIN_StatusLine, status, sizeof status);
  const std::string s = status;
  EXPECT_NE(s.find("Окно 1"), std::string::npos) << s;
  EXPECT_NE(s.find(Path("plain.txt")), std::string::npos) << s;
  EXPECT_NE(s.find(Path("plain.inf")), std::string::npos) << s;
}

TEST_F(Results, CancelledDialogWritesNothing) {
  Fill(0, 3, 0, -1, 2, 2);
  Target(Path("untouched.txt"));
  Press("SaveButton1");
  EXPECT_EQ(GetFileInfo(Path("untouched.txt").c_str(), nullptr), 0);
}

}  // namespace
