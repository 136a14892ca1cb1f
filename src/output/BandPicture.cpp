#include "output/BandPicture.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/Text.h"
#include "output/CodeTables.h"
#include "output/OutputFile.h"
#include "output/ValueNames.h"

namespace tressel {
namespace {

constexpr std::array<CodeText, 6> kStandardColours = {{
    {kStdDvbT, "#1f77b4"},  {kStdDvbT2, "#2ca02c"}, {kStdDvbC, "#ff7f0e"},
    {kStdDvbC2, "#d62728"}, {kStdAtsc, "#9467bd"},  {kStdIsdbT, "#8c564b"},
}};
constexpr const char* kOtherColour = "#7f7f7f";

// Geometry, in pixels. The plot grows wider when transponders lie so close
// that their labels would overlap, up to kMaxPlotWidth.
constexpr double kLeft = 120;
constexpr double kRight = 30;
constexpr double kTitleHeight = 60;
constexpr double kLabelStrip = 110; // frequency and modulation, written upwards above the plot
constexpr double kPlotHeight = 300;
constexpr double kAxisStrip = 50;   // tick labels and the axis title
constexpr double kMinPlotWidth = 900;
constexpr double kMaxPlotWidth = 12000;
constexpr double kLabelPitch = 14; // the least distance of two labelled bars
constexpr double kMaxBarWidth = 24;
constexpr double kMinBarWidth = 3;
constexpr double kHistoryTitle = 40;
constexpr double kHistoryHeight = 200;
constexpr double kMaxRowHeight = 16;
constexpr double kLegendStrip = 30;
constexpr uint32_t kMarginKHz = 4000; // room beside the outer intervals

// A floor of -100 dB is the configuration's "no floor".
constexpr double kNoFloor = -100;

// The frequency ticks: the first step that leaves room for its label.
constexpr std::array<uint32_t, 10> kTickStepsMHz = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};
constexpr double kTickPitch = 70;

struct Layout {
    double LowMHz;
    double HighMHz;
    double PixelsPerMHz;
    double PlotWidth;
    double PlotTop;
    double PlotBottom;
    double SnrTop; // dB at the top of the plot
    double BarWidth;
    double HistoryTop;
    double RowHeight;
    uint32_t Rows;
    double Width;
    double Height;
};

double X(const Layout& l, uint32_t kHz) { return kLeft + (kHz / 1000.0 - l.LowMHz) * l.PixelsPerMHz; }

double Y(const Layout& l, double snr)
{
    // Written so that a NaN SNR from the library draws as 0 dB.
    double clipped = snr > 0 ? (snr < l.SnrTop ? snr : l.SnrTop) : 0;
    return l.PlotBottom - clipped / l.SnrTop * kPlotHeight;
}

Layout MakeLayout(const BandPictureInput* in)
{
    Layout l = {};
    uint32_t low = in->Table[0].Frequency;
    uint32_t high = low;
    for (uint32_t i = 0; i < in->Count; ++i) {
        low = in->Table[i].Frequency < low ? in->Table[i].Frequency : low;
        high = in->Table[i].Frequency > high ? in->Table[i].Frequency : high;
    }
    for (uint32_t k = 0; k < in->IntervalCount; ++k) {
        low = in->Intervals[k].Start < low ? in->Intervals[k].Start : low;
        high = in->Intervals[k].Stop > high ? in->Intervals[k].Stop : high;
    }
    // In MHz as doubles, so that no margin wraps around the 32-bit range.
    l.LowMHz = low > kMarginKHz ? (low - kMarginKHz) / 1000.0 : 0;
    l.HighMHz = high / 1000.0 + kMarginKHz / 1000.0;
    double span = l.HighMHz - l.LowMHz;

    // The closest pair of distinct neighbours sets the scale, so that every
    // bar keeps its own label.
    double closest = span;
    double bandwidth = 8;
    for (uint32_t i = 0; i < in->Count; ++i) {
        if (in->Table[i].Bandwidth != 0 && in->Table[i].Bandwidth / 1000.0 < bandwidth)
            bandwidth = in->Table[i].Bandwidth / 1000.0;
        if (i == 0)
            continue;
        double gap = (static_cast<double>(in->Table[i].Frequency) - in->Table[i - 1].Frequency) / 1000.0;
        if (gap > 0.5 && gap < closest)
            closest = gap;
    }
    l.PlotWidth = span * kLabelPitch / closest;
    l.PlotWidth = l.PlotWidth < kMinPlotWidth ? kMinPlotWidth : l.PlotWidth;
    l.PlotWidth = l.PlotWidth > kMaxPlotWidth ? kMaxPlotWidth : l.PlotWidth;
    l.PixelsPerMHz = l.PlotWidth / span;
    double pitch = closest * l.PixelsPerMHz;
    double width = (bandwidth < closest ? bandwidth : closest) * l.PixelsPerMHz * 0.7;
    width = width > pitch - 3 ? pitch - 3 : width;
    width = width > kMaxBarWidth ? kMaxBarWidth : width;
    l.BarWidth = std::floor(width < kMinBarWidth ? kMinBarWidth : width);

    double maxSnr = 0;
    for (uint32_t i = 0; i < in->Count; ++i)
        maxSnr = in->Table[i].Snr > maxSnr ? in->Table[i].Snr : maxSnr;
    l.SnrTop = maxSnr < 40 ? 40 : std::ceil(maxSnr / 10) * 10;
    l.SnrTop = l.SnrTop > 100 ? 100 : l.SnrTop;

    l.PlotTop = kTitleHeight + kLabelStrip;
    l.PlotBottom = l.PlotTop + kPlotHeight;
    l.Height = l.PlotBottom + kAxisStrip;
    if (in->History != nullptr && in->History->PassCount > 0) {
        l.Rows = in->History->PassCount;
        l.RowHeight = std::floor(kHistoryHeight / l.Rows);
        l.RowHeight = l.RowHeight > kMaxRowHeight ? kMaxRowHeight : l.RowHeight;
        l.HistoryTop = l.Height + kHistoryTitle;
        l.Height = l.HistoryTop + l.Rows * l.RowHeight + kLegendStrip + 20;
    }
    l.Width = kLeft + l.PlotWidth + kRight;
    return l;
}

// Red at 0 dB through yellow to green at the top of the SNR axis.
void SnrColour(char* out, size_t cap, double snr, double top)
{
    double t = snr > 0 ? (snr < top ? snr / top : 1) : 0; // NaN as 0 dB
    int red = t < 0.5 ? 215 : static_cast<int>(215 - (t - 0.5) * 2 * 189);
    int green = t < 0.5 ? static_cast<int>(48 + t * 2 * 143) : static_cast<int>(191 - (t - 0.5) * 2 * 41);
    FormatText(out, cap, "#%02x%02x%02x", red, green, 48);
}

void WriteFrame(FILE* out, const Layout& l, const BandPictureInput* in)
{
    fprintf(out,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
            "font-family=\"sans-serif\" font-size=\"12\">\n"
            "<rect width=\"100%%\" height=\"100%%\" fill=\"#ffffff\"/>\n",
            l.Width, l.Height, l.Width, l.Height);
    fprintf(out, "<text x=\"%.0f\" y=\"28\" font-size=\"18\" font-weight=\"bold\" fill=\"#222222\">", kLeft);
    fprintf(out, "Pass %u: %u transponder%s", in->PassNumber, in->Count, in->Count == 1 ? "" : "s");
    if (in->Stamp != nullptr && in->Stamp[0] != '\0')
        fprintf(out, ", %s", in->Stamp);
    fputs("</text>\n", out);

    // The legend: the standards of this pass, with how many of each.
    double x = kLeft;
    for (const CodeText& row : kStandardColours) {
        uint32_t n = 0;
        for (uint32_t i = 0; i < in->Count; ++i)
            n += in->Table[i].Standard == row.Code ? 1 : 0;
        if (n == 0)
            continue;
        fprintf(out, "<rect x=\"%.0f\" y=\"40\" width=\"12\" height=\"12\" fill=\"%s\"/>", x, row.Text);
        fprintf(out, "<text x=\"%.0f\" y=\"51\" fill=\"#222222\">%s (%u)</text>\n", x + 16, StandardName(row.Code),
                n);
        x += 110;
    }
}

void WriteAxes(FILE* out, const Layout& l)
{
    fprintf(out, "<g stroke=\"#dddddd\" stroke-width=\"1\" shape-rendering=\"crispEdges\">\n");
    for (double snr = 10; snr <= l.SnrTop; snr += 10)
        fprintf(out, "<line x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\"/>\n", kLeft, Y(l, snr),
                kLeft + l.PlotWidth, Y(l, snr));
    fputs("</g>\n", out);
    for (double snr = 0; snr <= l.SnrTop; snr += 10)
        fprintf(out, "<text x=\"%.0f\" y=\"%.1f\" text-anchor=\"end\" fill=\"#444444\">%.0f</text>\n", kLeft - 6,
                Y(l, snr) + 4, snr);
    fprintf(out,
            "<text transform=\"translate(%.0f %.1f) rotate(-90)\" text-anchor=\"middle\" fill=\"#444444\">"
            "SNR (dB)</text>\n",
            kLeft - 50, (l.PlotTop + l.PlotBottom) / 2);

    uint32_t step = kTickStepsMHz[kTickStepsMHz.size() - 1];
    for (uint32_t candidate : kTickStepsMHz) {
        if (candidate * l.PixelsPerMHz >= kTickPitch) {
            step = candidate;
            break;
        }
    }
    uint32_t first = static_cast<uint32_t>(std::ceil(l.LowMHz / step)) * step;
    for (uint32_t mhz = first; mhz <= l.HighMHz; mhz += step) {
        double x = kLeft + (mhz - l.LowMHz) * l.PixelsPerMHz;
        fprintf(out, "<line x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\" stroke=\"#444444\"/>", x, l.PlotBottom,
                x, l.PlotBottom + 5);
        fprintf(out, "<text x=\"%.1f\" y=\"%.0f\" text-anchor=\"middle\" fill=\"#444444\">%u</text>\n", x,
                l.PlotBottom + 18, mhz);
    }
    fprintf(out, "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"middle\" fill=\"#444444\">Frequency (MHz)</text>\n",
            kLeft + l.PlotWidth / 2, l.PlotBottom + 38);
    fprintf(out, "<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"#444444\" "
                 "shape-rendering=\"crispEdges\"/>\n",
            kLeft, l.PlotBottom, kLeft + l.PlotWidth, l.PlotBottom);
}

void WriteFloor(FILE* out, const Layout& l, const PictureInterval& iv, double floor, const char* name)
{
    if (floor <= kNoFloor || floor < 0 || floor > l.SnrTop)
        return;
    double y = Y(l, floor);
    fprintf(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#c0392b\" stroke-width=\"1.5\" "
                 "stroke-dasharray=\"6 4\"/>",
            X(l, iv.Start), y, X(l, iv.Stop), y);
    fprintf(out, "<text x=\"%.1f\" y=\"%.1f\" font-size=\"11\" fill=\"#c0392b\">%s %.0f dB</text>\n",
            X(l, iv.Start) + 4, y - 4, name, floor);
}

void WriteIntervals(FILE* out, const Layout& l, const BandPictureInput* in)
{
    for (uint32_t k = 0; k < in->IntervalCount; ++k) {
        const PictureInterval& iv = in->Intervals[k];
        fprintf(out, "<rect x=\"%.1f\" y=\"%.0f\" width=\"%.1f\" height=\"%.0f\" fill=\"#eef2f8\"/>\n",
                X(l, iv.Start), l.PlotTop, X(l, iv.Stop) - X(l, iv.Start), kPlotHeight);
        fprintf(out, "<text x=\"%.1f\" y=\"%.0f\" font-size=\"11\" fill=\"#667788\">%.3f-%.3f MHz, %s</text>\n",
                X(l, iv.Start) + 4, l.PlotTop + 14, iv.Start / 1000.0, iv.Stop / 1000.0,
                iv.Stepped ? "stepped" : "fast scan");
    }
    for (uint32_t k = 0; k < in->IntervalCount; ++k) {
        const PictureInterval& iv = in->Intervals[k];
        if (!iv.Stepped)
            continue;
        WriteFloor(out, l, iv, iv.MinSnr1, "MinSNR1");
        if (iv.MinSnr2 != iv.MinSnr1)
            WriteFloor(out, l, iv, iv.MinSnr2, "MinSNR2");
    }
}

void WriteBars(FILE* out, const Layout& l, const BandPictureInput* in)
{
    fputs("<g shape-rendering=\"crispEdges\">\n", out);
    for (uint32_t i = 0; i < in->Count; ++i) {
        const TransponderInfo& r = in->Table[i];
        double x = std::floor(X(l, r.Frequency) - l.BarWidth / 2);
        double top = std::floor(Y(l, r.Snr));
        // A bar of no SNR still shows where the transponder is.
        top = top > l.PlotBottom - 2 ? l.PlotBottom - 2 : top;
        fprintf(out, "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"%s\">", x, top, l.BarWidth,
                l.PlotBottom - top, StandardColour(r.Standard));
        fprintf(out, "<title>%.3f MHz %s %s, SNR %.1f dB, RF level %d dBm</title></rect>\n", r.Frequency / 1000.0,
                StandardName(r.Standard), ModulationName(r.Modulation), r.Snr, static_cast<int>(r.RfLevel));
    }
    fputs("</g>\n", out);
    for (uint32_t i = 0; i < in->Count; ++i) {
        const TransponderInfo& r = in->Table[i];
        fprintf(out,
                "<text transform=\"translate(%.1f %.0f) rotate(-90)\" font-size=\"11\" fill=\"#222222\">"
                "%.3f %s</text>\n",
                X(l, r.Frequency) + 4, l.PlotTop - 4, r.Frequency / 1000.0, ModulationName(r.Modulation));
    }
}

// One row per recent pass, oldest at the top, a cell under each transponder
// that the pass found, coloured by its SNR: a gap is a pass that missed it.
void WriteHistory(FILE* out, const Layout& l, const BandPictureInput* in)
{
    const HistoryLog* log = in->History;
    fprintf(out, "<text x=\"%.0f\" y=\"%.0f\" font-size=\"14\" font-weight=\"bold\" fill=\"#222222\">"
                 "SNR over the last %u pass%s (oldest at the top)</text>\n",
            kLeft, l.HistoryTop - 12, l.Rows, l.Rows == 1 ? "" : "es");
    fprintf(out, "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"#f4f4f4\"/>\n", kLeft,
            l.HistoryTop, l.PlotWidth, l.Rows * l.RowHeight);
    fputs("<g shape-rendering=\"crispEdges\">\n", out);
    for (uint32_t row = 0; row < l.Rows; ++row) {
        const HistoryPass* pass = HistoryPassAt(log, row);
        double y = l.HistoryTop + row * l.RowHeight;
        for (uint32_t k = 0; k < pass->Count; ++k) {
            const HistoryPoint& p = pass->Points[k];
            if (p.Frequency / 1000.0 < l.LowMHz || p.Frequency / 1000.0 > l.HighMHz)
                continue;
            char colour[8];
            SnrColour(colour, sizeof colour, p.Snr, l.SnrTop);
            fprintf(out, "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"%s\">"
                         "<title>%s: %.3f MHz, SNR %.1f dB</title></rect>\n",
                    std::floor(X(l, p.Frequency) - l.BarWidth / 2), y, l.BarWidth,
                    l.RowHeight > 2 ? l.RowHeight - 1 : l.RowHeight, colour, pass->Stamp, p.Frequency / 1000.0, p.Snr);
        }
        // Every row is named when there is room, else the first and the last.
        // The stamp without its year and seconds: "12-11 15:04".
        bool full = strlen(pass->Stamp) >= 16;
        if (l.RowHeight >= 11 || row == 0 || row + 1 == l.Rows)
            fprintf(out, "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\" font-size=\"10\" fill=\"#444444\">"
                         "pass %u %.5s %.5s</text>\n",
                    kLeft - 6, y + (l.RowHeight < 10 ? 10 : l.RowHeight - 3), pass->PassNumber,
                    full ? pass->Stamp + 5 : pass->Stamp, full ? pass->Stamp + 11 : "");
    }
    fputs("</g>\n", out);
    // The SNR scale of the cells.
    double y = l.HistoryTop + l.Rows * l.RowHeight + 14;
    for (uint32_t k = 0; k <= 4; ++k) {
        char colour[8];
        double snr = l.SnrTop * k / 4;
        SnrColour(colour, sizeof colour, snr, l.SnrTop);
        fprintf(out, "<rect x=\"%.0f\" y=\"%.0f\" width=\"14\" height=\"12\" fill=\"%s\"/>", kLeft + k * 80.0, y,
                colour);
        fprintf(out, "<text x=\"%.0f\" y=\"%.0f\" fill=\"#444444\">%.0f dB</text>\n", kLeft + k * 80.0 + 18, y + 11,
                snr);
    }
}

} // namespace

const char* StandardColour(uint32_t standard) { return FindCodeText(kStandardColours, standard, kOtherColour); }

int WriteBandPicture(const char* path, const BandPictureInput* input)
{
    if (path == nullptr || input == nullptr || input->Table == nullptr || input->Count == 0)
        return -1;
    Layout l = MakeLayout(input);
    OutputFile file;
    if (OpenOutputFile(&file, path) != 0)
        return -2;
    WriteFrame(file.Stream, l, input);
    WriteIntervals(file.Stream, l, input);
    WriteAxes(file.Stream, l);
    WriteBars(file.Stream, l, input);
    if (l.Rows > 0)
        WriteHistory(file.Stream, l, input);
    fputs("</svg>\n", file.Stream);
    return CommitOutputFile(&file);
}

} // namespace tressel
