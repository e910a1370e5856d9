# make demo   build the native tools and print the engine's parameter table
# make test   native tests, the same under AddressSanitizer + UBSan, then the 32-bit
#             DLL and its tests under Wine
# make clean  remove every build folder
#
# Each step configures its build folder (cheap when nothing changed) and builds
# incrementally.

JOBS    ?= 2
CTEST   := ctest --output-on-failure --no-tests=error -j$(JOBS) --test-dir
# Wine needs no display for the tests; programs that open windows get a virtual one.
XVFB    := $(if $(DISPLAY),,xvfb-run -a)

.PHONY: demo test bootstrap native native-asan win32 \
        test-native test-native-asan test-win32 clean

demo: native
	build/native/tools/qz_param_table

test: test-native test-native-asan test-win32

bootstrap:
	tools/bootstrap.sh

native native-asan win32: bootstrap
	cmake --preset $@
	cmake --build build/$@ -j$(JOBS)

test-native: native
	$(CTEST) build/native

test-native-asan: native-asan
	$(CTEST) build/native-asan

# One persistent wineserver for the whole run, started (and the prefix created)
# before ctest and stopped afterwards, pass or fail: see cmake/wine-run.
test-win32: win32
	$(XVFB) cmake/wine-run --build-dir=build/win32 --session $(CTEST) build/win32

clean:
	rm -rf build
