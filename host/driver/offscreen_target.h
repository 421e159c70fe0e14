// offscreen_target.h - a frame target drawn offscreen (host/gl/gl_context.h)
// at a fixed size, current on the thread that made it: what an offline
// render and a recording without a window draw into.
#ifndef LUMAGROVE_OFFSCREEN_TARGET_H
#define LUMAGROVE_OFFSCREEN_TARGET_H

#include <memory>
#include <utility>

#include "host/driver/frame_target.h"
#include "host/gl/gl_context.h"

class OffscreenTarget : public FrameTarget {
public:
    // Throws HostError as OffscreenContext does.
    OffscreenTarget(int width, int height) : context_(std::make_unique<OffscreenContext>(width, height)) {}
    // On a context made already (OffscreenContext::Sharing).
    explicit OffscreenTarget(std::unique_ptr<OffscreenContext> context) : context_(std::move(context)) {}

    void Size(int* width, int* height) const override {
        *width = context_->width();
        *height = context_->height();
    }
    void Read(const PictureBuffer& into) const override {
        context_->ReadInto(context_->width(), context_->height(), into.pixels, into.stride, into.topRowFirst);
    }

    const OffscreenContext& context() const { return *context_; }

private:
    std::unique_ptr<OffscreenContext> context_;
};

#endif
