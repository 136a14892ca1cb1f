// The built program against the virtual tuner: one pass over a small band
// writes the detailed report and each family of transponder list.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A DVB-T multiplex off the 500 kHz raster, a DVB-T2 multiplex with two
// pipes and a cable transponder, listed out of frequency order.
const char* const kBand =
    "[Transponder0]\nFrequency=490000\nBandwidth=8000\nStandard=7\nModulation=22\nFec=13\n"
    "TransmissionMode=6\nGuardInterval=7\nPlpIds=0,1\nRfLevel=-48\nSnr=30.2\nBitRate=40200000\n"
    "[Transponder1]\nFrequency=474166\nBandwidth=8000\nStandard=6\nModulation=20\nFec=2\n"
    "TransmissionMode=4\nGuardInterval=4\nRfLevel=-55\nSnr=28.1\nBitRate=24100000\n"
    "[Transponder2]\nFrequency=306000\nBandwidth=8000\nSymbolRate=6900000\nStandard=8\nModulation=22\n"
    "RfLevel=-52\nSnr=31.4\nBitRate=50800000\n";

std::string Config(int iniFormat)
{
    return "[Options]\nDevice=0\nFastScan=1\nIniFormat=" + std::to_string(iniFormat) +
           "\nInfoFormat=4\nReportDir=reports\nTPDir=lists\nLoop=0\n"
           "[LocInfo]\nLocPos=4000\nLocName=Europe\n"
           "[Scan0]\nStart=474000\nStop=498000\nStep=8\nStd=0\n"
           "[Scan1]\nStart=298000\nStop=314000\nStep=8\nStd=0\n";
}

RunResult RunTressel(const TempDir& dir, int iniFormat)
{
    WriteFile(dir.File("band.ini"), kBand);
    WriteFile(dir.File("Tressel.ini"), Config(iniFormat));
    RunOptions options;
    options.Args = {"Tressel.ini"};
    options.WorkDir = dir.Path();
    options.Env = {{"TRESSEL_VIRTUAL_BAND", dir.File("band.ini")}};
    return testsupport::Run(options);
}

struct Family {
    int IniFormat;
    const char* Report;
    const char* List;
    const char* ListText;
};

const Family kFamilies[] = {
    {0, "reports/4000.txt", "lists/4000.ini",
     "[SATTYPE]\n1=4000\n2=Europe\n\n[DVB]\n0=3\n1=306000,6900\n2=474000,0\n3=490000,0\n"},
    {5, "reports/Europe.txt", "lists/Europe.ini",
     "# Europe\n# 3 transponders\n"
     "C 306000000 6900000 AUTO QAM256 # 31.4 dB\n"
     "T 474000000 8MHz 2/3 AUTO QAM64 8k 1/4 NONE # 28.1 dB\n"
     "T2 490000000 8MHz 3/5 NONE QAM256 32k 19/256 NONE 0 # 30.2 dB\n"
     "T2 490000000 8MHz 3/5 NONE QAM256 32k 19/256 NONE 1 # 30.2 dB\n"},
    {6, "reports/4000.txt", "lists/Europe.xml",
     "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<locations>\n"
     "\t<cable name=\"Europe\" flags=\"5\">\n"
     "\t\t<transponder frequency=\"306000000\" symbol_rate=\"6900000\" modulation=\"5\"/>\n"
     "\t\t<transponder centre_frequency=\"474000000\" bandwidth=\"0\" constellation=\"2\" code_rate_hp=\"1\" "
     "code_rate_lp=\"6\" guard_interval=\"3\" transmission_mode=\"1\" hierarchy_information=\"0\"/>\n"
     "\t\t<transponder centre_frequency=\"490000000\" bandwidth=\"0\" constellation=\"4\" code_rate_hp=\"7\" "
     "code_rate_lp=\"6\" guard_interval=\"7\" transmission_mode=\"6\" hierarchy_information=\"0\" system=\"1\" "
     "plp_id=\"0\"/>\n"
     "\t\t<transponder centre_frequency=\"490000000\" bandwidth=\"0\" constellation=\"4\" code_rate_hp=\"7\" "
     "code_rate_lp=\"6\" guard_interval=\"7\" transmission_mode=\"6\" hierarchy_information=\"0\" system=\"1\" "
     "plp_id=\"1\"/>\n"
     "\t</cable>\n</locations>\n"},
};

TEST(EndToEndOutput, EveryListFamilyAndTheReport)
{
    for (const Family& f : kFamilies) {
        SCOPED_TRACE("IniFormat " + std::to_string(f.IniFormat));
        TempDir dir;
        mkdir(dir.File("reports").c_str(), 0700);
        mkdir(dir.File("lists").c_str(), 0700);
        RunResult r = RunTressel(dir, f.IniFormat);
        EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        std::string announcements = std::string("Total tranponders found = 3\n") +
                                    "Report detailed transponder info to " + f.Report + " ...\n" +
                                    "Store transponder info in " + f.List + " ...\n";
        EXPECT_NE(r.Out.find(announcements), std::string::npos) << r.Out;
        EXPECT_EQ(r.Out.find("error !"), std::string::npos) << r.Out;

        EXPECT_EQ(ReadFile(dir.File(f.List)), f.ListText);
        // The report lists the transponders sorted, with the frequencies as found.
        std::string report = ReadFile(dir.File(f.Report));
        size_t cable = report.find("TP N: 1\nFrequency: 306.000 Mhz\n");
        size_t terrestrial = report.find("TP N: 2\nFrequency: 474.166 Mhz\n");
        size_t pipes = report.find("TP N: 3\nFrequency: 490.000 Mhz\n");
        EXPECT_EQ(cable, 0u) << report;
        EXPECT_NE(terrestrial, std::string::npos) << report;
        EXPECT_NE(pipes, std::string::npos) << report;
        EXPECT_NE(report.find("PLP IDs: 0 1\n"), std::string::npos) << report;
        EXPECT_NE(report.find("----------------------------------------\nTotal Scan Time = "), std::string::npos);
        EXPECT_TRUE(testsupport::TempFilesBeside(dir.File(f.List)).empty());
    }
}

// A report directory that does not exist fails the report alone.
TEST(EndToEndOutput, MissingReportDirectoryStillWritesTheList)
{
    TempDir dir;
    mkdir(dir.File("lists").c_str(), 0700);
    RunResult r = RunTressel(dir, 0);
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_NE(r.Out.find("Report detailed transponder info to reports/4000.txt ...\nerror !\n"
                         "Store transponder info in lists/4000.ini ...\n"),
              std::string::npos)
        << r.Out;
    EXPECT_EQ(ReadFile(dir.File("lists/4000.ini")), kFamilies[0].ListText);
}

} // namespace
