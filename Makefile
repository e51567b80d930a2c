# Glyphreel: the set-up commands.
#   make        build everything (into build/)
#   make test   install what is missing, build, and run every test
#   make run    install what is missing, build, and start the program
#   make deb    the Debian package from a release build (build-release/)
#   make package-check  build, lint, install, try and remove the package (root)
#   make fuzz-check  build the fuzz targets with clang (build-fuzz/) and run
#               each over its seed corpus and kept regression inputs

BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

SANITIZE_DIR ?= build-sanitize
# Leaks reported inside third-party libraries are named in tools/lsan.supp;
# the project's own code has no suppressions.
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

.PHONY: all build deps configure test run clean sanitize fuzz-check deb package-check

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

# The whole test suite once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer, less the tests labelled "once" (real mounts,
# signals, resource limits, real-time play, virtual displays).
sanitize: deps
	@if [ ! -f $(SANITIZE_DIR)/build.ninja ]; then \
	  cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYPHREEL_SANITIZE=ON -DGLYPHREEL_BUILD_BENCH=OFF; \
	fi
	$(SANITIZE_ENV) cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS) -LE once

fuzz-check: deps
	JOBS=$(JOBS) bash tools/fuzz.sh check

# The Debian package, from a release build of its own (installed under /usr):
# $(RELEASE_DIR)/glyphreel_VERSION_ARCH.deb, for `apt install ./...`.
RELEASE_DIR ?= build-release
deb: deps
	@if [ ! -f $(RELEASE_DIR)/build.ninja ]; then \
	  cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	    -DGLYPHREEL_BUILD_TESTS=OFF -DGLYPHREEL_BUILD_BENCH=OFF $(CMAKE_FLAGS); \
	fi
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	cd $(RELEASE_DIR) && cpack -G DEB

# The package end to end, as root: lintian, the desktop file and metadata,
# install with apt, the installed programs at work under a scratch HOME,
# removal. Skips with a message where apt cannot run.
package-check: deb
	bash tools/package-check.sh $(RELEASE_DIR)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(RELEASE_DIR)
