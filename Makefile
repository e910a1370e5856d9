# make demo   compress a drum loop with the DLL under Wine and with qzmb, and compare
# make test   native tests, the same under AddressSanitizer + UBSan and under
#             ThreadSanitizer, then the 32-bit DLL and its tests under Wine
# make battery  the long battery: the DLL under Wine at every rate, buffer size,
#               format and signal, under random automation; prints a summary table
# make gallery  the editor's controls on the skin, captured to docs/gallery.png
#               and docs/skin.png, the editor page while the demo loop plays to
#               docs/editor-all-bands.png and docs/editor-band.png, the preset menu
#               and manager to docs/preset-menu.png and docs/preset-manager.png
#               (Wine on Xvfb)
# make fuzz   fuzz every parser for FUZZ_SECONDS each (default 60): executions,
#             corpus size and coverage per target
# make clean  remove every build folder
#
# Each step configures its build folder (cheap when nothing changed) and builds
# incrementally.

JOBS    ?= 2
CTEST   := ctest --output-on-failure --no-tests=error -j$(JOBS) --test-dir
# Wine needs no display for the tests; programs that open windows get a virtual one.
XVFB    := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x1024x24")

.PHONY: demo test battery gallery fuzz bootstrap bootstrap-i386 native native-asan native-tsan win32 \
        fuzz-targets test-native test-native-asan test-native-tsan test-fuzz test-win32 clean

# The demo: a drum loop compressed by the DLL in the system's filter graph under Wine
# (qzhost) and by the native processor (qzmb) with the same settings record; the two
# results must agree.
DEMO_DIR      := build/demo
QZMB          := build/native/tools/qzmb
QZHOST        := build/win32/tools/qzhost/qzhost.exe
DEMO_SETTINGS := --set "Threshold 1=-24dB" --set "Ratio 1=4:1" --set "Attack 1=5ms" \
                 --set "Threshold 2=-20dB" --set "Ratio 2=3:1" \
                 --set "Threshold 3=-26dB" --set "Ratio 3=6:1" --set "Type 3=Vintage" \
                 --set TCR=on --set OutputGain=4dB

demo: native win32
	@mkdir -p $(DEMO_DIR)
	@echo "== The demo signal and the settings"
	build/native/tools/qz_demo_signal $(DEMO_DIR)/drums.wav
	$(QZMB) record $(DEMO_DIR)/settings.rec $(DEMO_SETTINGS)
	@echo "== qzMultibandDX.dll in the system's filter graph, under Wine"
	$(XVFB) cmake/wine-run --build-dir=build/win32 --session \
	  cmake/wine-run --build-dir=build/win32 $(QZHOST) process \
	  $(DEMO_DIR)/drums.wav $(DEMO_DIR)/drums-dll.wav --load $(DEMO_DIR)/settings.rec
	@echo "== The same engine, native"
	$(QZMB) process $(DEMO_DIR)/drums.wav $(DEMO_DIR)/drums-native.wav --record $(DEMO_DIR)/settings.rec
	@echo "== Do they agree?"
	$(QZMB) compare $(DEMO_DIR)/drums-native.wav $(DEMO_DIR)/drums-dll.wav
	@echo "Files: $(DEMO_DIR)/drums.wav (input), drums-dll.wav and drums-native.wav (compressed)"

test: test-native test-native-asan test-native-tsan test-fuzz test-win32

# The pictures of the README: every push button in every state on the real skin,
# the bare skin, the editor page while the demo loop plays, the preset menu and the
# preset manager dialog, as the X server shows them.
gallery: native win32
	@mkdir -p docs $(DEMO_DIR)
	build/native/tools/qz_demo_signal $(DEMO_DIR)/drums.wav
	$(QZMB) record $(DEMO_DIR)/settings.rec $(DEMO_SETTINGS)
	$(XVFB) cmake/wine-run --build-dir=build/win32 --session sh -c '\
	  cmake/wine-run --build-dir=build/win32 build/win32/tools/gallery/qzgallery.exe \
	    $(CURDIR)/docs/gallery.png $(CURDIR)/docs/skin.png && \
	  cmake/wine-run --build-dir=build/win32 build/win32/tools/gallery/qzpresetpictures.exe \
	    $(CURDIR)/docs/preset-menu.png $(CURDIR)/docs/preset-manager.png && \
	  tools/gallery/editor_pictures.sh $(DEMO_DIR)/drums.wav $(DEMO_DIR)/settings.rec $(CURDIR)/docs'

bootstrap:
	tools/bootstrap.sh packages

# Wine's loader and wineserver for the 32-bit prefix are i386 programs: bootstrap
# makes sure they start, or stops here with one line saying why they cannot.
bootstrap-i386: bootstrap
	tools/bootstrap.sh i386

native native-asan native-tsan: bootstrap
win32: bootstrap-i386
native native-asan native-tsan win32:
	cmake --preset $@
	cmake --build build/$@ -j$(JOBS)

# The parsers' libFuzzer targets (clang): the tests run each over its seed corpus.
fuzz-targets: bootstrap
	cmake --preset fuzz
	cmake --build build/fuzz -j$(JOBS)

FUZZ_SECONDS ?= 60
fuzz: fuzz-targets
	fuzz/run.sh $(FUZZ_SECONDS)

test-native: native
	$(CTEST) build/native

test-native-asan: native-asan
	$(CTEST) build/native-asan

test-native-tsan: native-tsan
	$(CTEST) build/native-tsan

test-fuzz: fuzz-targets
	$(CTEST) build/fuzz

# One persistent wineserver for the whole run, started (and the prefix created)
# before ctest and stopped afterwards, pass or fail: see cmake/wine-run.
test-win32: win32
	$(XVFB) cmake/wine-run --build-dir=build/win32 --session $(CTEST) build/win32

# The battery's long version: the same program ctest runs short, told to run long.
battery: win32
	$(XVFB) cmake/wine-run --build-dir=build/win32 --session \
	  env QZ_BATTERY=long cmake/wine-run --build-dir=build/win32 build/win32/tests/win32/battery_tests.exe

clean:
	rm -rf build
