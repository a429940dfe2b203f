# Thin wrapper over CMake, Ninja and CTest. The README lists the targets.
BUILD := build
ASAN_BUILD := build-asan
CTEST_FLAGS := --output-on-failure -j2 --timeout 300
SOURCES = $(shell find src tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null)

PREFIX ?= /usr/local

.PHONY: build run start test asan install uninstall package format format-check check-layers bench clean fuzz-smoke

build: $(BUILD)/build.ninja
	cmake --build $(BUILD)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCORVANE_WERROR=ON

# The program beside a demo FTP server on loopback, with a site list of its
# own (in $(BUILD)/demo) that holds the server; `start` runs the program alone.
run: build
	scripts/demo.py $(BUILD)/src/app/corvane $(BUILD)

start: build
	$(BUILD)/src/app/corvane

test: build
	ctest --test-dir $(BUILD) $(CTEST_FLAGS)

asan: $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD)
	ctest --test-dir $(ASAN_BUILD) $(CTEST_FLAGS)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCORVANE_WERROR=ON -DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF

# The program, its menu entry and its icons under $(PREFIX); uninstall removes
# exactly the files the last install wrote.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	@test -f $(BUILD)/install_manifest.txt || { echo "uninstall: nothing was installed from $(BUILD)"; exit 1; }
	xargs -d '\n' rm -f -- < $(BUILD)/install_manifest.txt
	rm -f $(BUILD)/install_manifest.txt

# A Debian package of the installed files, in $(BUILD)/.
package: build
	cd $(BUILD) && cpack

format:
	clang-format -i $(SOURCES)

format-check:
	@clang-format --dry-run --Werror $(SOURCES) && echo "format-check: ok"

check-layers:
	scripts/check-layers.sh

# Runs every benchmark binary: the Google Benchmark ones and transfer_bench (1 GiB
# transfers against loopback FTP servers beside curl, a few minutes; set
# CORVANE_BENCH_SIZE_MIB for a quick run). None is built when libbenchmark is missing.
bench: build
	@set -e; for b in $(BUILD)/bench/*_bench; do \
		if [ -x "$$b" ]; then echo "== $$b"; "$$b"; fi; \
	done

# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# FUZZ_SECONDS (20) from its seed corpus under fuzz/corpus. Not part of `test`.
fuzz-smoke:
	fuzz/smoke.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
