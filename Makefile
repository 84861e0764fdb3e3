# Thin front end over the CMake presets.
PRESETS ?= default asan armv5 fuzz
JOBS ?= $(shell nproc)

.PHONY: example check bundle board deps build clean $(addprefix preset-,$(PRESETS))

# Build the host and ARMv5 programs, then restore the shipped example profiles with
# each (the ARMv5 one under qemu-arm, as on the board).
example: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)
	cmake --preset armv5
	cmake --build --preset armv5 -j $(JOBS)
	scripts/example.sh build/default
	scripts/example.sh build/armv5 qemu-arm -cpu arm926 -r 2.6.35.4
	@echo "Host programs:  build/default/kelmora/kelmora build/default/physmem/physmem"
	@echo "ARMv5 programs: build/armv5/kelmora/kelmora build/armv5/physmem/physmem"

# The board bundle dist/board-tools-VERSION-armv5.tar.gz: the stripped ARMv5 programs,
# their manual pages, the LED module's source and a README for the board.
bundle: deps
	cmake --preset armv5
	cmake --build --preset armv5 -j $(JOBS)
	scripts/bundle.sh build/armv5 dist

# The emulated ARM926 board on this terminal: the ARMv5 programs in PATH, lampora loaded,
# the flash (build/board/flash.img, kept between runs) at /mnt/conf. The first run builds
# the board's kernel (several minutes, cached). Leave with exit, or Ctrl-A X.
# make board BOARD_FS=ubifs: UBIFS on the flash instead (build/board/flash-ubifs.img).
BOARD_FS ?= jffs2
# make board KERNEL=2.6.35: the same on the device's kernel series instead of 6.1.
KERNEL ?= 6.1
board: deps
	cmake --preset armv5
	cmake --build --preset armv5 -j $(JOBS)
	BOARD_FS=$(BOARD_FS) BOARD_KERNEL=$(KERNEL) board/boot.sh shell build/armv5 build/board

# Install what the tests need, then build and test every preset.
check: deps $(addprefix preset-,$(PRESETS))

deps:
	scripts/install-deps.sh

$(addprefix preset-,$(PRESETS)): preset-%:
	cmake --preset $*
	cmake --build --preset $* -j $(JOBS)
	ctest --preset $* -j $(JOBS)

clean:
	rm -rf build dist
