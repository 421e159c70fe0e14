# Lumagrove: `make test` builds everything and runs every test; `make demo`
# renders the demo. Both install the Debian packages a fresh machine lacks.

BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

# What the library, the preview host and the tests need.
DEPS = cmake g++ make pkg-config libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 \
       libgl1-mesa-dri zlib1g-dev libgtest-dev libpng-dev

.PHONY: all deps build test demo clean

all: build

deps:
	@sh cmake/install-deps.sh $(DEPS)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@mkdir -p out
	$(BUILD)/lumagrove-preview --out out/frame.png
	@echo "wrote out/frame.png"

clean:
	rm -rf $(BUILD) out
