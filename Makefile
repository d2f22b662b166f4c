# Thin wrappers; CMake and ctest do the work.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

.PHONY: all deps build run test test-release test-asan bench fuzz package clean

all: build

deps:
	@./scripts/install-deps

$(BUILD)/release/build.ninja: | deps
	@cmake -S . -B $(BUILD)/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@ln -sf $(BUILD)/release/compile_commands.json compile_commands.json

$(BUILD)/asan/build.ninja: | deps
	@cmake -S . -B $(BUILD)/asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANTIS_SANITIZE=ON >/dev/null

build: deps $(BUILD)/release/build.ninja
	@cmake --build $(BUILD)/release -j $(JOBS)

run: build
	@$(BUILD)/release/src/app/corvantis

test: test-release test-asan

test-release: build
	@cd $(BUILD)/release && ctest --output-on-failure -j $(JOBS)

test-asan: deps $(BUILD)/asan/build.ninja
	@cmake --build $(BUILD)/asan -j $(JOBS)
	@cd $(BUILD)/asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# corvantis_<version>_<arch>.deb in $(BUILD)/release (cmake/Package.cmake).
package: build
	@cd $(BUILD)/release && cpack -G DEB

bench: build
	@./bench/run-bench $(BUILD)/release

fuzz: deps
	@./fuzz/run-fuzz $(BUILD)/fuzz $(FUZZ_SECONDS)

clean:
	@rm -rf $(BUILD) compile_commands.json
