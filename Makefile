# Glyphreel: the set-up commands.
#   make        build everything (into build/)
#   make test   install what is missing, build, and run every test
#   make run    install what is missing, build, and start the program
#   make fuzz-check  build the fuzz targets with clang (build-fuzz/) and run
#               each over its seed corpus and kept regression inputs

BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all build deps configure test run clean fuzz-check

all: build

deps:
	bash tools/install-deps.sh

configure:
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then \
	  cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS); \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: deps
	$(MAKE) build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

run: deps
	$(MAKE) build
	$(BUILD_DIR)/bin/glyphreel

fuzz-check: deps
	JOBS=$(JOBS) bash tools/fuzz.sh check

clean:
	rm -rf $(BUILD_DIR)
