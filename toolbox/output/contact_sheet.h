// contact_sheet.h - a contact sheet: one PNG with a grid of small pictures of
// frames spread evenly over the render, each labelled with its time, under a
// heading that names what was rendered (the song's title, or its file).
//
// Layout (all in pixels): a heading strip 32 high across the top when there
// is a heading (its text in ASCII, each other character a '?', cut at the
// sheet's edge); then up to 16 cells, 4 to a row (fewer when the render has
// fewer frames). A picture is the frame scaled down by an area average to
// fit a 320 x 320 box (never scaled up). Under each picture is a label strip
// with the frame's time as "m:ss.ss". Cells are separated, and framed, by an
// 8-pixel gap:
//   width  = columns * (thumbWidth + 8) + 8
//   height = heading + rows * (thumbHeight + 24 + 8) + 8
// Cell k shows frame floor((2k + 1) * frameCount / (2 * cells)), the middle
// frame of the k-th of `cells` equal stretches.
#ifndef LUMAGROVE_CONTACT_SHEET_H
#define LUMAGROVE_CONTACT_SHEET_H

#include <stdint.h>

#include <string>
#include <vector>

#include "toolbox/output/frame_sink.h"

struct SheetLayout {
    int cells, columns, rows;
    int thumbWidth, thumbHeight;
    int width, height;
    int headingHeight;            // 0 without a heading
    std::vector<int64_t> frames;  // frame index shown by each cell, ascending

    static SheetLayout For(int frameWidth, int frameHeight, int64_t frameCount, bool heading = false);
    // Top-left corner of cell k's picture.
    int CellLeft(int k) const;
    int CellTop(int k) const;
};

class ContactSheetSink : public FrameSink {
public:
    // Stages `path` at once (HostError (bad input) if it cannot be written).
    // An empty `heading` leaves the strip out.
    ContactSheetSink(const std::string& path, int frameWidth, int frameHeight, int64_t frameCount,
                     const std::string& heading = "");

    bool Wants(int64_t index) const override;
    void Consume(const Frame& frame) override;
    void Finish() override;   // writes the sheet under "<path>.part"
    void Publish() override;  // renames it to <path>
    void Withdraw() noexcept override;
    void Abort() noexcept override;

    const SheetLayout& layout() const { return layout_; }

private:
    StagedFile file_;
    SheetLayout layout_;
    std::vector<uint8_t> sheet_;  // RGBA, top row first
};

#endif
