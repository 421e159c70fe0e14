#include "toolbox/output/contact_sheet.h"

#include <string.h>

#include <algorithm>

#include "toolbox/base/clock_text.h"
#include "toolbox/output/bitmap_font.h"
#include "toolbox/output/png_writer.h"

namespace {

const int kMaxCells = 16;
const int kMaxColumns = 4;
const int kThumbBox = 320;
const int kGap = 8;
const int kLabelScale = 2;
const int kLabelPad = (24 - kGlyphHeight * kLabelScale) / 2;
const int kLabelHeight = kGlyphHeight * kLabelScale + 2 * kLabelPad;
const uint8_t kBackground[3] = {24, 24, 28};
const uint8_t kLabelColour[3] = {225, 225, 225};
const int kHeadingHeight = 32;

// The heading as the font can draw it: a '?' for each character past ASCII.
std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ';
        else if (c >= 0xC0) out += '?';  // the lead byte of a UTF-8 sequence; its other bytes are dropped
    }
    return out;
}

// Averages the frame's pixels over each picture pixel's footprint and stores
// the result upright, RGBA, at `out` (rows `outStride` bytes apart).
void ScaleDown(const Frame& frame, int width, int height, uint8_t* out, size_t outStride) {
    for (int y = 0; y < height; ++y) {
        const int y0 = static_cast<int>(static_cast<int64_t>(y) * frame.height / height);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<int64_t>(y + 1) * frame.height / height));
        for (int x = 0; x < width; ++x) {
            const int x0 = static_cast<int>(static_cast<int64_t>(x) * frame.width / width);
            const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<int64_t>(x + 1) * frame.width / width));
            uint32_t sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy) {
                const uint8_t* p = frame.RowFromTop(sy) + x0 * 4;
                for (int sx = x0; sx < x1; ++sx, p += 4) {
                    sum[0] += p[2];  // frames are BGRA
                    sum[1] += p[1];
                    sum[2] += p[0];
                }
            }
            const uint32_t count = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
            uint8_t* q = out + y * outStride + x * 4;
            for (int c = 0; c < 3; ++c) q[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
            q[3] = 255;
        }
    }
}

}  // namespace

SheetLayout SheetLayout::For(int frameWidth, int frameHeight, int64_t frameCount, bool heading) {
    SheetLayout l;
    l.headingHeight = heading ? kHeadingHeight : 0;
    l.cells = static_cast<int>(std::min<int64_t>(kMaxCells, std::max<int64_t>(frameCount, 1)));
    l.columns = std::min(kMaxColumns, l.cells);
    l.rows = (l.cells + l.columns - 1) / l.columns;
    const double scale = std::min(1.0, std::min(double(kThumbBox) / frameWidth, double(kThumbBox) / frameHeight));
    l.thumbWidth = std::max(1, static_cast<int>(frameWidth * scale + 0.5));
    l.thumbHeight = std::max(1, static_cast<int>(frameHeight * scale + 0.5));
    l.width = l.columns * (l.thumbWidth + kGap) + kGap;
    l.height = l.headingHeight + l.rows * (l.thumbHeight + kLabelHeight + kGap) + kGap;
    for (int k = 0; k < l.cells; ++k)
        l.frames.push_back((2 * k + 1) * std::max<int64_t>(frameCount, 1) / (2 * l.cells));
    return l;
}

int SheetLayout::CellLeft(int k) const { return kGap + (k % columns) * (thumbWidth + kGap); }
int SheetLayout::CellTop(int k) const {
    return headingHeight + kGap + (k / columns) * (thumbHeight + kLabelHeight + kGap);
}

ContactSheetSink::ContactSheetSink(const std::string& path, int frameWidth, int frameHeight, int64_t frameCount,
                                   const std::string& heading)
    : file_(path, "contact sheet "), layout_(SheetLayout::For(frameWidth, frameHeight, frameCount, !heading.empty())) {
    sheet_.resize(static_cast<size_t>(layout_.width) * layout_.height * 4);
    for (size_t i = 0; i < sheet_.size(); i += 4) {
        memcpy(&sheet_[i], kBackground, 3);
        sheet_[i + 3] = 255;
    }
    if (heading.empty()) return;
    const ClipRect clip = {kGap, 0, layout_.width - kGap, layout_.headingHeight};
    const int top = kGap + (layout_.headingHeight - kGap - kGlyphHeight * kLabelScale) / 2;
    DrawText(sheet_.data(), layout_.width, clip, kGap, top, Printable(heading), kLabelScale, kLabelColour);
}

bool ContactSheetSink::Wants(int64_t index) const {
    return std::binary_search(layout_.frames.begin(), layout_.frames.end(), index);
}

void ContactSheetSink::Consume(const Frame& frame) {
    const auto at = std::lower_bound(layout_.frames.begin(), layout_.frames.end(), frame.index);
    if (at == layout_.frames.end() || *at != frame.index) return;
    const int k = static_cast<int>(at - layout_.frames.begin());
    const int left = layout_.CellLeft(k), top = layout_.CellTop(k);
    const size_t stride = static_cast<size_t>(layout_.width) * 4;
    ScaleDown(frame, layout_.thumbWidth, layout_.thumbHeight, &sheet_[top * stride + left * 4], stride);
    const int labelTop = top + layout_.thumbHeight;
    const ClipRect clip = {left, labelTop, left + layout_.thumbWidth, labelTop + kLabelHeight};
    DrawText(sheet_.data(), layout_.width, clip, left + kLabelPad, labelTop + kLabelPad, ClockText(frame.time, 2),
             kLabelScale, kLabelColour);
}

void ContactSheetSink::Finish() { WritePng(file_, TopDownRgbaImage(sheet_.data(), layout_.width, layout_.height)); }
void ContactSheetSink::Publish() { file_.Publish(); }
void ContactSheetSink::Withdraw() noexcept { file_.Withdraw(); }
void ContactSheetSink::Abort() noexcept { file_.Abort(); }
