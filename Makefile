# make demo   compress a drum loop with the 32-bit and the 64-bit DLL under Wine and
#             with qzmb, and compare
# make test   native tests, the same under AddressSanitizer + UBSan and under
#             ThreadSanitizer, then the 32-bit and the 64-bit DLL and their tests
#             under Wine, the DLLs' output held to the native engine's bit for bit
# make battery  the long battery: the DLL under Wine at every rate, buffer size,
#               format and signal, under random automation; prints a summary table
# make gallery  the editor's controls on the skin, captured to docs/gallery.png
#               and docs/skin.png, the editor page while the demo loop plays to
#               docs/editor-all-bands.png and docs/editor-band.png, the preset menu
#               and manager to docs/preset-menu.png and docs/preset-manager.png
#               (Wine on Xvfb)
# make plot   the picture of what the compressor does to the demo's drum loop,
#             docs/drum-loop-plot.png (qzmb process --plot)
# make fuzz   fuzz every parser for FUZZ_SECONDS each (default 60): executions,
#             corpus size and coverage per target
# make lv2-install  the LV2 plug-in's bundle into the first folder of LV2_PATH, or ~/.lv2
# make lv2-bench    lv2bench over qz:Multiband and the Calf and LSP multiband compressors
# make lv2-picture  the plug-in in jalv's generic interface with a tone playing, to
#                   docs/lv2-jalv.png (Xvfb)
# make clean  remove every build folder
#
# Each step configures its build folder (cheap when nothing changed) and builds
# incrementally.

JOBS    ?= 2
CTEST   := ctest --output-on-failure --no-tests=error -j$(JOBS) --test-dir
# Wine needs no display for the tests; programs that open windows get a virtual one,
# without key repeat: a key the tests hold down stays one press however busy the
# machine is.
XVFB    := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x1024x24 -r")

.PHONY: demo test battery gallery plot fuzz lv2-install lv2-bench lv2-picture bootstrap bootstrap-i386 native \
        native-asan native-tsan win32 win64 fuzz-targets test-native test-native-asan test-native-tsan test-fuzz \
        test-win32 test-win64 clean

# The demo: a drum loop compressed by the 32-bit and the 64-bit DLL in the system's
# filter graph under Wine (qzhost) and by the native processor (qzmb) with the same
# settings record; the results must agree, and the two DLLs' bit for bit.
DEMO_DIR      := build/demo
QZMB          := build/native/tools/qzmb
QZHOST        := build/win32/tools/qzhost/qzhost.exe
QZHOST64      := build/win64/tools/qzhost/qzhost.exe
DEMO_SETTINGS := --set "Threshold 1=-24dB" --set "Ratio 1=4:1" --set "Attack 1=5ms" \
                 --set "Threshold 2=-20dB" --set "Ratio 2=3:1" \
                 --set "Threshold 3=-26dB" --set "Ratio 3=6:1" --set "Type 3=Vintage" \
                 --set TCR=on --set OutputGain=4dB

demo: native win32 win64
	@mkdir -p $(DEMO_DIR)
	@echo "== The demo signal and the settings"
	build/native/tools/qz_demo_signal $(DEMO_DIR)/drums.wav
	$(QZMB) record $(DEMO_DIR)/settings.rec $(DEMO_SETTINGS)
	@echo "== The 32-bit qzMultibandDX.dll in the system's filter graph, under Wine"
	$(XVFB) cmake/wine-run --build-dir=build/win32 --session \
	  cmake/wine-run --build-dir=build/win32 $(QZHOST) process \
	  $(DEMO_DIR)/drums.wav $(DEMO_DIR)/drums-dll.wav --load $(DEMO_DIR)/settings.rec
	@echo "== The 64-bit qzMultibandDX.dll, the same way"
	$(XVFB) cmake/wine-run --build-dir=build/win64 --session \
	  cmake/wine-run --build-dir=build/win64 $(QZHOST64) process \
	  $(DEMO_DIR)/drums.wav $(DEMO_DIR)/drums-dll64.wav --load $(DEMO_DIR)/settings.rec
	@echo "== The same engine, native"
	$(QZMB) process $(DEMO_DIR)/drums.wav $(DEMO_DIR)/drums-native.wav --record $(DEMO_DIR)/settings.rec
	@echo "== Do they agree?"
	$(QZMB) compare $(DEMO_DIR)/drums-native.wav $(DEMO_DIR)/drums-dll.wav
	$(QZMB) compare $(DEMO_DIR)/drums-native.wav $(DEMO_DIR)/drums-dll64.wav
	cmp $(DEMO_DIR)/drums-dll.wav $(DEMO_DIR)/drums-dll64.wav
	@echo "the 32-bit and the 64-bit DLL agree bit for bit"
	@echo "Files: $(DEMO_DIR)/drums.wav (input), drums-dll.wav, drums-dll64.wav and drums-native.wav (compressed)"

test: test-native test-native-asan test-native-tsan test-fuzz test-win32 test-win64

# The README's picture of the compressor at work on the demo loop.
plot: native
	@mkdir -p docs $(DEMO_DIR)
	build/native/tools/qz_demo_signal $(DEMO_DIR)/drums.wav
	$(QZMB) process $(DEMO_DIR)/drums.wav $(DEMO_DIR)/drums-native.wav $(DEMO_SETTINGS) --plot docs/drum-loop-plot.png

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

# The LV2 plug-in, built by the native build (build/native/lv2/bundle/qzmultiband.lv2).
LV2_BUNDLE := build/native/lv2/bundle/qzmultiband.lv2

lv2-install: native
	lv2/install.sh $(LV2_BUNDLE)

lv2-bench: native
	bench/lv2bench.sh $(dir $(LV2_BUNDLE))

lv2-picture: native
	xvfb-run -a -s "-screen 0 1600x1300x24" tools/gallery/lv2_host_picture.sh $(dir $(LV2_BUNDLE)) docs/lv2-jalv.png

bootstrap:
	tools/bootstrap.sh packages

# Wine's loader and wineserver for the 32-bit prefix are i386 programs: bootstrap
# makes sure they start, or stops here with one line saying why they cannot.
bootstrap-i386: bootstrap
	tools/bootstrap.sh i386

native native-asan native-tsan win64: bootstrap
win32: bootstrap-i386
native native-asan native-tsan win32 win64:
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
# before ctest and stopped afterwards, pass or fail: see cmake/wine-run. The native
# build writes the table the DLL's identity test compares with.
test-win32: win32 native
	$(XVFB) cmake/wine-run --build-dir=build/win32 --session $(CTEST) build/win32

# The 64-bit suite in its 64-bit prefix. Its cross-width test also runs the 32-bit
# build's DLL and programs there, as 64-bit Windows runs 32-bit hosts.
test-win64: win64 win32 native
	$(XVFB) cmake/wine-run --build-dir=build/win64 --session $(CTEST) build/win64

# The battery's long version: the same program ctest runs short, told to run long.
battery: win32
	$(XVFB) cmake/wine-run --build-dir=build/win32 --session \
	  env QZ_BATTERY=long cmake/wine-run --build-dir=build/win32 build/win32/tests/win32/battery_tests.exe

clean:
	rm -rf build
