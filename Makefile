# Two entry points: `make demo` and `make test`. Both install what is
# missing first, so they work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test demo install clean test-asan test-tsan fuzz format

# Where `make install` puts Thudra.so (hosts scan ~/.vst by default) and
# Thudra.lv2 (the first folder of LV2_PATH, else ~/.lv2).
VST_PATH ?= $(HOME)/.vst
LV2_DIR ?= $(or $(firstword $(subst :, ,$(LV2_PATH))),$(HOME)/.lv2)

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j$(JOBS)

demo: build
	bash scripts/demo.sh $(BUILD)

install: build
	cmake --install $(BUILD) --prefix "$(VST_PATH)"
	install -d "$(LV2_DIR)/Thudra.lv2"
	install -m 644 $(BUILD)/Thudra.lv2/*.ttl "$(LV2_DIR)/Thudra.lv2/"
	install -m 755 $(BUILD)/Thudra.lv2/thudra.so "$(LV2_DIR)/Thudra.lv2/"

clean:
	rm -rf $(BUILD)

# The house style (.clang-format) applied to every C and C++ file; the test
# suite's format_check fails on a file it would change.
format:
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i

# Sanitizer and fuzz runs, each in its own build folder.
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30

test-asan:
	JOBS=$(JOBS) bash scripts/sanitize.sh asan $(ASAN_BUILD)

test-tsan:
	JOBS=$(JOBS) bash scripts/sanitize.sh tsan $(TSAN_BUILD)

fuzz:
	JOBS=$(JOBS) FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/fuzz.sh $(FUZZ_BUILD)

# The Windows module, cross-built with mingw-w64 into build-win64/
# (Thudra.dll, thudra-host.exe), and its tests under Wine against the Linux
# build's renders.
WIN_BUILD ?= build-win64
.PHONY: windows test-windows

windows:
	JOBS=$(JOBS) bash scripts/build-windows.sh $(CURDIR)/$(WIN_BUILD)

test-windows: windows build
	bash tests/windows/run-wine-tests.sh $(CURDIR)/$(WIN_BUILD) $(CURDIR)/$(BUILD)/Thudra.so $(CURDIR)/$(BUILD)/tools/host/thudra-host
