# Lumagrove: `make test` builds everything and runs every test; `make demo`
# renders the demo. Both install the Debian packages a fresh machine lacks.

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The hosts, each an option of the build (LUMAGROVE_BUILD_PREVIEW, ..._GST,
# ..._OBS, ..._VLC, ..._KODI). Without HOSTS, every host and the tests, in
# $(BUILD); with HOSTS (make install HOSTS="vlc kodi"), those alone and the
# library under them, no tests, in a build folder of their own, and `make
# deps` installs only what they need. The web page is `make web`.
ALL_HOSTS = preview gst obs vlc kodi
HOSTS ?=
space := $(subst ,, )
BUILD ?= $(if $(HOSTS),build-$(subst $(space),-,$(sort $(HOSTS))),build)
host_option = -DLUMAGROVE_BUILD_$(shell echo $(1) | tr a-z A-Z)=$(if $(filter $(1),$(HOSTS)),ON,OFF)
HOST_FLAGS = $(if $(HOSTS),-DLUMAGROVE_BUILD_TESTS=OFF $(foreach h,$(ALL_HOSTS),$(call host_option,$(h))))
BUILT_HOSTS = $(or $(HOSTS),$(ALL_HOSTS))

# What the library and the plug-in need, then each host, then the tests.
CORE_DEPS = cmake g++ make pkg-config libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
preview_DEPS = zlib1g-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libsdl2-dev \
               libcli11-dev libpulse-dev ffmpeg
gst_DEPS = libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
obs_DEPS = libobs-dev
vlc_DEPS = libvlccore-dev
kodi_DEPS = kodi-addons-dev
TEST_DEPS = libgtest-dev libpng-dev libsndfile1-dev libx11-dev xvfb valgrind pulseaudio pulseaudio-utils \
            pipewire pipewire-pulse wireplumber dbus gstreamer1.0-tools gstreamer1.0-plugins-base \
            gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly obs-studio iproute2 \
            vlc-bin vlc-plugin-base vlc-plugin-video-output kodi x11-apps python3 $(PACKAGE_DEPS)
# make package: dpkg-shlibdeps and file (CPack's DEB generator), lintian.
PACKAGE_DEPS = dpkg-dev file lintian
DEPS = $(CORE_DEPS) $(foreach h,$(BUILT_HOSTS),$($(h)_DEPS)) $(if $(HOSTS),,$(TEST_DEPS))

# The 32-bit Windows build (MinGW-w64: the DLL, the Windows preview host, the
# probes its tests run) and what the win32 tests need to run it: Wine with
# its 32-bit half (enables the i386 architecture), Mesa's 32-bit software GL
# behind Wine's opengl32, and Xvfb for Wine's windows.
WIN32_BUILD ?= build-win32
WIN32_DEPS = cmake make g++-mingw-w64-i686 libz-mingw-w64-dev libcli11-dev
WINE_DEPS = wine wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 xvfb

# The sanitizer and fuzzing build: clang with ASan, UBSan, LSan and libFuzzer.
SAN_BUILD ?= build-sanitize
SAN_DEPS = clang libclang-rt-14-dev
TSAN_BUILD ?= build-tsan
# Races, with Mesa's own left out (tests/sanitizer/tsan.supp). Not the order
# of locks: LLVM's JIT inside Mesa takes locks whose release ThreadSanitizer
# does not see, so every lock taken after a frame's first shader reads as
# taken inside one of them.
TSAN_OPTIONS = halt_on_error=1:detect_deadlocks=0:suppressions=$(CURDIR)/tests/sanitizer/tsan.supp
FUZZ_SECONDS ?= 60
# Dynamic TLS untracked: LLVM 14's runtime misreads the bounds of a block
# 16 bytes past a page and its leak check crashes at the exit
# (tests/sanitizer/leak_check_test.cpp; tests/CMakeLists.txt says the same).
SAN_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
          UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0

# The web page: Emscripten from Debian (its emcc needs Debian's Node modules),
# a static site in $(WEB_BUILD); `make serve` serves it on 127.0.0.1:$(WEB_PORT).
WEB_BUILD ?= build-web
WEB_PORT ?= 8080
WEB_DEPS = emscripten cmake make python3
EMSCRIPTEN_ENV = NODE_PATH=/usr/share/nodejs

.PHONY: all deps every-host build test demo bench clean install package check-layers web web-deps web-test-deps serve test-sanitize test-valgrind fuzz win32 win32-deps wine-deps check-format

all: build

deps:
	@sh cmake/install-deps.sh $(DEPS)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) $(HOST_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Every test, each run once. Packages that truly cannot be had (Wine's 32-bit
# half while a mirror syncs) are recorded in $(BUILD)/unavailable/: the tests
# that need them are reported as not run, with the reason, and named last.
UNAVAILABLE = $(CURDIR)/$(BUILD)/unavailable
test: every-host build win32 wine-deps web web-test-deps package
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS); status=$$?; \
	  for f in $(UNAVAILABLE)/*; do [ -f "$$f" ] && echo "not run, the $${f##*/} tests: $$(cat "$$f")"; done; \
	  exit $$status

every-host:
	@if [ -n "$(HOSTS)" ]; then echo "make test builds and tests every host: run it without HOSTS" >&2; exit 2; fi

win32-deps:
	@sh cmake/install-deps.sh $(WIN32_DEPS)

wine-deps:
	@LUMAGROVE_UNAVAILABLE=$(UNAVAILABLE)/Wine sh cmake/install-deps.sh $(WINE_DEPS)

$(WIN32_BUILD)/CMakeCache.txt: | win32-deps
	cmake -S . -B $(WIN32_BUILD) $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake

# lumagrove.dll and lumagrove-preview.exe in $(WIN32_BUILD).
win32: win32-deps $(WIN32_BUILD)/CMakeCache.txt
	cmake --build $(WIN32_BUILD) -j $(JOBS)

# Every artifact by the build's install rules (cmake --install): the preview
# host, the plug-in, the host library with its header and pkg-config file,
# the C library liblumagrove with the plug-in in LIBDIR/lumagrove/, and the
# GStreamer element, the OBS Studio source, the VLC visualisation and the
# Kodi add-on. Without PREFIX, for your user: ~/.local, and the element, the
# source and the add-on in GStreamer's, OBS's and Kodi's folders of yours (the modules over
# liblumagrove find it in ~/.local by their run path); with PREFIX=/usr,
# Debian's own folders.
PREFIX ?=
MULTIARCH := $(shell dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
GST_PLUGIN_DIR ?= $(if $(PREFIX),$(if $(filter /usr,$(PREFIX)),$(shell pkg-config --variable=pluginsdir gstreamer-1.0),$(PREFIX)/lib/gstreamer-1.0),$(HOME)/.local/share/gstreamer-1.0/plugins)
OBS_USER_DIR = $(or $(XDG_CONFIG_HOME),$(HOME)/.config)/obs-studio/plugins/lumagrove-obs
OBS_MODULE_DIR ?= $(if $(PREFIX),$(if $(filter /usr,$(PREFIX)),/usr/lib/$(MULTIARCH),$(PREFIX)/lib)/obs-plugins,$(OBS_USER_DIR)/bin/64bit)
OBS_DATA_DIR ?= $(if $(PREFIX),$(PREFIX)/share/obs/obs-plugins/lumagrove-obs,$(OBS_USER_DIR)/data)
# VLC looks in its own folder (PREFIX=/usr: Debian's), or where VLC_PLUGIN_PATH says.
VLC_PLUGINS = $(if $(filter /usr,$(PREFIX)),$(shell pkg-config --variable=pluginsdir vlc-plugin),$(or $(PREFIX),$(HOME)/.local)/lib/vlc/plugins)
VLC_CACHE_GEN = $(dir $(VLC_PLUGINS))vlc-cache-gen
# Kodi: a user's add-ons folder holds an add-on whole; Debian's Kodi reads its
# library from LIBDIR and the rest from DATADIR.
KODI_USER_DIR = $(HOME)/.kodi/addons/visualization.lumagrove
KODI_LIB_DIR ?= $(if $(PREFIX),$(if $(filter /usr,$(PREFIX)),/usr/lib/$(MULTIARCH),$(PREFIX)/lib)/kodi/addons/visualization.lumagrove,$(KODI_USER_DIR))
KODI_DATA_DIR ?= $(if $(PREFIX),$(PREFIX)/share/kodi/addons/visualization.lumagrove,$(KODI_USER_DIR))
built = $(if $(filter $(1),$(BUILT_HOSTS)),$(2))
INSTALL_DIRS = -DCMAKE_INSTALL_PREFIX=$(or $(PREFIX),$(HOME)/.local) \
               $(call built,gst,-DLUMAGROVE_GST_PLUGIN_DIR=$(GST_PLUGIN_DIR)) \
               $(call built,obs,-DLUMAGROVE_OBS_MODULE_DIR=$(OBS_MODULE_DIR) -DLUMAGROVE_OBS_DATA_DIR=$(OBS_DATA_DIR)) \
               $(call built,vlc,-DLUMAGROVE_VLC_PLUGIN_DIR=$(VLC_PLUGINS)/visualization) \
               $(call built,kodi,-DLUMAGROVE_KODI_LIB_DIR=$(KODI_LIB_DIR) -DLUMAGROVE_KODI_DATA_DIR=$(KODI_DATA_DIR))

# The folders are given for this install only: the build's own stay under
# whatever prefix cmake --install is given.
install: build
	cmake -S . -B $(BUILD) $(INSTALL_DIRS) > /dev/null
	@# (the modules relinked with room for their run path to this install)
	cmake --build $(BUILD) -j $(JOBS) > /dev/null
	cmake --install $(BUILD) --prefix $(or $(PREFIX),$(HOME)/.local); \
	  status=$$?; cmake -S . -B $(BUILD) -U 'LUMAGROVE_*_DIR' -U CMAKE_INSTALL_PREFIX > /dev/null; exit $$status
	@# VLC's plug-in cache, so VLC lists the new module at once.
	@$(call built,vlc,if [ "$(PREFIX)" = /usr ] && [ -x "$(VLC_CACHE_GEN)" ]; then "$(VLC_CACHE_GEN)" "$(VLC_PLUGINS)"; fi)
	@$(call built,preview,echo "lumagrove-preview --help lists its options; man lumagrove-preview")
	@$(call built,gst,echo "gst-inspect-1.0 lumagrove describes the element")
	@$(call built,obs,echo "OBS Studio lists the source \"Lumagrove\" from its next start")
	@$(call built,vlc,echo "VLC: Audio > Visualizations > Lumagrove$(if $(filter /usr,$(PREFIX)),, (with VLC_PLUGIN_PATH=$(VLC_PLUGINS)))")
	@$(call built,kodi,echo "Kodi: Settings > Player > Music > Visualisation > Lumagrove (enable it in Add-ons > My add-ons the first time)")

# The Debian packages, one a host (cmake/lumagrove_package.cmake), from the
# install rules, configured for Debian's folders, into $(PACKAGES); beside
# them the Windows plug-in and preview host as a zip with a text on where the
# DLL goes, and the web page as a tarball of its static site (the web
# site in one folder of its name, without the build's own, cmake/).
# Built as Debian builds its packages: with dpkg-buildflags' hardening
# (stack protector, fortified functions, full RELRO, bind now, PIE); the
# debugging information is stripped from the packages.
PACKAGE_BUILD ?= build-package
buildflag = $(shell DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get $(1) 2>/dev/null)
DEB_FLAGS = -DCMAKE_C_FLAGS="$(call buildflag,CFLAGS) $(call buildflag,CPPFLAGS)" \
            -DCMAKE_CXX_FLAGS="$(call buildflag,CXXFLAGS) $(call buildflag,CPPFLAGS)" \
            $(foreach kind,EXE SHARED MODULE,-DCMAKE_$(kind)_LINKER_FLAGS="$(call buildflag,LDFLAGS)")
PACKAGES = $(PACKAGE_BUILD)/packages
package: deps win32 web
	@sh cmake/install-deps.sh $(PACKAGE_DEPS)
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMAGROVE_BUILD_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=/usr $(DEB_FLAGS) > /dev/null
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	rm -rf $(PACKAGES) && cd $(PACKAGE_BUILD) && cpack -G DEB > /dev/null
	rm -rf $(PACKAGES)/_CPack_Packages
	@# The zip and the tarball take the packages' version.
	version=$$(dpkg-deb -f $(PACKAGES)/liblumagrove0_*.deb Version) && zip=lumagrove-$$version-win32 && \
	  rm -rf $(PACKAGE_BUILD)/$$zip && mkdir -p $(PACKAGE_BUILD)/$$zip && \
	  cp $(WIN32_BUILD)/lumagrove.dll $(WIN32_BUILD)/lumagrove-preview.exe $(PACKAGE_BUILD)/$$zip/ && \
	  sed "s/@VERSION@/$$version/; s/\$$/\r/" packaging/windows-readme.txt > $(PACKAGE_BUILD)/$$zip/README.txt && \
	  (cd $(PACKAGE_BUILD) && cmake -E tar cf packages/$$zip.zip --format=zip $$zip) && \
	  tar -C $(WEB_BUILD) --exclude=./cmake --transform "s,^\.,lumagrove-web-$$version," --sort=name \
	    --owner=0 --group=0 --numeric-owner -czf $(PACKAGES)/lumagrove-web-$$version.tar.gz .
	@ls -1 $(PACKAGES)/*.deb $(PACKAGES)/*.zip $(PACKAGES)/*.tar.gz

# The direction of every #include against the layers (tools/check_layers.py).
check-layers:
	@sh cmake/install-deps.sh python3
	python3 tools/check_layers.py

web-deps:
	@sh cmake/install-deps.sh $(WEB_DEPS)

# What the page's tests need: Chromium from Debian, puppeteer-core from npm.
web-test-deps:
	@sh cmake/install-deps.sh chromium
	@cd tests/web && { { [ -d node_modules/puppeteer-core ] && [ -d node_modules/axe-core ]; } || npm ci --no-audit --no-fund; }

web: web-deps
	$(EMSCRIPTEN_ENV) emcmake cmake -S . -B $(WEB_BUILD)/cmake -DCMAKE_BUILD_TYPE=Release \
	  -DLUMAGROVE_SITE=$(CURDIR)/$(WEB_BUILD)
	$(EMSCRIPTEN_ENV) cmake --build $(WEB_BUILD)/cmake -j $(JOBS)
	@echo "the page is in $(WEB_BUILD)/: make serve, then open http://127.0.0.1:$(WEB_PORT)/"

serve: web
	@echo "serving $(WEB_BUILD)/ on http://127.0.0.1:$(WEB_PORT)/ (Ctrl-C stops)"
	cd $(WEB_BUILD) && python3 -m http.server $(WEB_PORT) --bind 127.0.0.1

demo: build
	@mkdir -p out
	$(BUILD)/lumagrove-preview --out out/demo.mp4 --sheet out/demo-sheet.png
	@echo "wrote out/demo.mp4 and out/demo-sheet.png"

# The whole offline render against its floors, quality and peak memory at 720p,
# 1080p and 2160p, then the live latency, the element's cost, decoding, the
# OBS source's, the VLC module's and the Kodi add-on's costs and the page's
# frame time (about half an hour).
bench: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD) -DLUMAGROVE_BUILD_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS) --target lumagrove-bench lumagrove-latency-bench lumagrove-gst-bench \
	  lumagrove-decode-bench lumagrove-obs-bench lumagrove-obs-offset-bench lumagrove-vlc-bench \
	  lumagrove-api-cost-bench
	$(BUILD)/lumagrove-bench
	$(BUILD)/lumagrove-latency-bench
	$(BUILD)/lumagrove-gst-bench
	$(BUILD)/lumagrove-decode-bench
	tests/obs/isolated.sh $(BUILD)/lumagrove-obs-bench
	tests/obs/isolated.sh $(BUILD)/lumagrove-obs-offset-bench
	$(BUILD)/lumagrove-vlc-bench
	python3 bench/kodi_bench.py $(BUILD)
	sh bench/api_cost.sh
	$(MAKE) --no-print-directory web web-test-deps
	LUMAGROVE_SITE=$(WEB_BUILD) LUMAGROVE_PREVIEW=$(BUILD)/lumagrove-preview NODE_PATH=tests/web/node_modules \
	  node bench/web_bench.js

# The preview host under valgrind's memcheck alone (`make test` runs it too).
test-valgrind: build
	cd $(BUILD) && ctest --output-on-failure -L valgrind

# Every test again under the sanitizers, the C API's thread tests under
# ThreadSanitizer, then the plug-in fuzzer for FUZZ_SECONDS.
test-sanitize: deps
	@sh cmake/install-deps.sh $(SAN_DEPS)
	CC=clang CXX=clang++ cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DLUMAGROVE_SANITIZE=ON -DLUMAGROVE_FUZZ=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && $(SAN_ENV) ctest --output-on-failure -j $(JOBS) -LE "win32|web"
	CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMAGROVE_TSAN=ON \
	  -DLUMAGROVE_BUILD_OBS=OFF -DLUMAGROVE_BUILD_VLC=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target api_threads_tests
	TSAN_OPTIONS=$(TSAN_OPTIONS) $(TSAN_BUILD)/tests/api_threads_tests
	$(MAKE) --no-print-directory fuzz

# The plug-in's fuzzer, then the song reader's, FUZZ_SECONDS each. New
# inputs go to scratch folders; the seeds in tests/fuzz/ stay as committed.
fuzz:
	@mkdir -p $(SAN_BUILD)/fuzz-corpus $(SAN_BUILD)/reader-fuzz-corpus
	$(SAN_ENV) $(SAN_BUILD)/tests/fuzz/plugin_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  $(SAN_BUILD)/fuzz-corpus tests/fuzz/corpus
	$(SAN_ENV) $(SAN_BUILD)/tests/fuzz/reader_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  $(SAN_BUILD)/reader-fuzz-corpus tests/fuzz/reader_corpus

# The sources against .clang-format (the plug-in's folders keep their own
# layout): lists what is off and fails if anything is.
check-format:
	@sh cmake/install-deps.sh clang-format
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(WIN32_BUILD) $(WEB_BUILD) build-baseline out
