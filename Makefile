# Thin front end over the CMake presets. Each target first installs the Debian packages
# it needs (scripts/install-deps.sh TARGET; --list TARGET shows them).
PRESETS ?= default asan armv5 fuzz
JOBS ?= $(shell nproc)
# The programs alone: no test is configured, so no test tool is needed.
PROGRAMS_ONLY = -DBOARD_UNIT_TESTS=OFF -DBOARD_CASE_TESTS=OFF

.PHONY: example check bundle board bench casedata clean $(addprefix preset-,$(PRESETS))

# Build the host and ARMv5 programs, then restore the shipped example profiles with
# each (the ARMv5 one under qemu-arm, as on the board).
example:
	scripts/install-deps.sh example
	cmake --preset default $(PROGRAMS_ONLY)
	cmake --build --preset default -j $(JOBS)
	cmake --preset armv5 $(PROGRAMS_ONLY)
	cmake --build --preset armv5 -j $(JOBS)
	scripts/example.sh build/default
	scripts/example.sh build/armv5 qemu-arm -cpu arm926 -r 2.6.35.4
	@echo "Host programs:  build/default/kelmora/kelmora build/default/physmem/physmem"
	@echo "ARMv5 programs: build/armv5/kelmora/kelmora build/armv5/physmem/physmem"

# The board bundle dist/board-tools-VERSION-armv5.tar.gz: the stripped ARMv5 programs,
# their manual pages, the LED module's source and a README for the board.
bundle:
	scripts/install-deps.sh bundle
	cmake --preset armv5 $(PROGRAMS_ONLY)
	cmake --build --preset armv5 -j $(JOBS)
	scripts/bundle.sh build/armv5 dist

# The emulated ARM926 board on this terminal: the ARMv5 programs in PATH, lampora loaded,
# the flash (build/board/flash.img, kept between runs) at /mnt/conf. The first run builds
# the board's kernel (several minutes, cached). Leave with exit, or Ctrl-A X.
# make board BOARD_FS=ubifs: UBIFS on the flash instead (build/board/flash-ubifs.img).
BOARD_FS ?= jffs2
# make board KERNEL=2.6.35: the same on the device's kernel series instead of 6.1.
KERNEL ?= 6.1
board:
	scripts/install-deps.sh board
	cmake --preset armv5 $(PROGRAMS_ONLY)
	cmake --build --preset armv5 -j $(JOBS)
	BOARD_FS=$(BOARD_FS) BOARD_KERNEL=$(KERNEL) board/boot.sh shell build/armv5 build/board

# Install what the tests need, then build and test every preset.
check:
	scripts/install-deps.sh check
	$(MAKE) $(addprefix preset-,$(PRESETS))

# physmem's dump speed against memtool, od and printf (root).
bench:
	scripts/install-deps.sh bench
	cmake --preset default $(PROGRAMS_ONLY)
	cmake --build --preset default -j $(JOBS)
	bash bench/physmem_bench.sh build/default/physmem/physmem

# The supplicant-written inputs of the real-* cases, written again by the supplicant's
# own tools (root; installs and runs wpa_supplicant).
casedata:
	scripts/install-deps.sh casedata
	bash scripts/gen-supplicant-files.sh

$(addprefix preset-,$(PRESETS)): preset-%:
	cmake --preset $*
	cmake --build --preset $* -j $(JOBS)
	ctest --preset $* -j $(JOBS)

clean:
	rm -rf build dist
