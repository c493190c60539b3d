# Two entry points: `make demo` and `make test`. Both install what is
# missing first, so they work on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test demo install clean

# Where `make install` puts Thudra.so (hosts scan ~/.vst by default).
VST_PATH ?= $(HOME)/.vst

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	bash scripts/demo.sh $(BUILD)

install: build
	cmake --install $(BUILD) --prefix "$(VST_PATH)"

clean:
	rm -rf $(BUILD)
