#include "host/driver/frame_driver.h"

FrameDriver::FrameDriver(FrameTarget& target, LevelSource& levels)
    : target_(target), levels_(levels), block_(std::make_unique<AudioBlock>()) {}

const float* FrameDriver::levels() const { return block_->levels; }

void FrameDriver::TakeLevels(const FrameTime& frame) {
    levels_.Fill(frame, block_.get());
    ++done_;
}

void FrameDriver::Draw(const FrameTime& frame, const PictureBuffer* into) {
    levels_.Fill(frame, block_.get());
    if (into || target_.Shows()) {
        int width = 0, height = 0;
        target_.Size(&width, &height);
        const RenderParams params = {block_.get(), width, height, 0, frame.time};
        target_.Begin();
        try {
            target_.Draw(params);
            if (into) target_.Read(*into);
            if (target_.Shows()) target_.Present();
        } catch (...) {
            target_.End();
            throw;
        }
        target_.End();
    }
    ++done_;
}
