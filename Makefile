# Falatro: `make run` sets up and starts the client; `make test` sets up and runs every test.
BUILD ?= build
SAN_BUILD ?= build-san
# Where `make install` puts the `falatro` command (PREFIX/bin).
PREFIX ?= $(HOME)/.local
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")

# Debian packages needed to build, generate the voice and run the tests.
DEBS := cmake ninja-build g++ clang libclang-rt-14-dev pkg-config ccache \
	libgtest-dev libgmock-dev libbenchmark-dev \
	libsdl2-dev libsdl2-ttf-dev libfontconfig-dev fonts-dejavu-core \
	libespeak-ng-dev espeak-ng libspeechd-dev libvterm-dev libssl-dev \
	ngircd inspircd anope openssl wbrazilian xvfb xdotool sox \
	unicode-cldr-core speech-dispatcher speech-dispatcher-espeak-ng libao4 libao-common

.PHONY: all deps build voice install run test test-san fuzz bench demo clean

all: build

deps:
	@missing=""; for p in $(DEBS); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing || exit 1; \
	    for svc in ngircd inspircd anope; do \
	      case " $$missing " in *" $$svc "*) \
	        if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet $$svc 2>/dev/null; then \
	          echo "Stopping the $$svc service the package started: the tests run their own servers on loopback."; \
	          systemctl disable --now $$svc >/dev/null 2>&1 || true; \
	        fi;; \
	      esac; \
	    done; \
	  else \
	    echo "Missing Debian packages. Run as root:"; \
	    echo "  apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

build: deps
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" >/dev/null
	cmake --build $(BUILD) -j2

# Generates the voice data and lays out the suite tree.
voice: build
	$(BUILD)/tools/falatro-voice install

# The voice, and the `falatro` command in $(PREFIX)/bin (by default ~/.local/bin, which needs no root;
# `make install PREFIX=/usr/local` as root for every user).
install: voice
	install -D -m 0755 $(BUILD)/falatro $(DESTDIR)$(PREFIX)/bin/falatro
	@echo "Installed $(DESTDIR)$(PREFIX)/bin/falatro."
	@case ":$$PATH:" in *":$(PREFIX)/bin:"*) ;; \
	  *) echo "$(PREFIX)/bin is not on your PATH: add it (for bash: echo 'export PATH=\"$(PREFIX)/bin:\$$PATH\"' >> ~/.bashrc) or start $(PREFIX)/bin/falatro";; \
	esac

run: voice
	exec $(BUILD)/falatro

test: voice
	ctest --test-dir $(BUILD) --output-on-failure -j2

test-san: deps
	cmake -S . -B $(SAN_BUILD) -G "$(GENERATOR)" -DFALATRO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build $(SAN_BUILD) -j2
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(SAN_BUILD) --output-on-failure -j2 -LE nosan

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G "$(GENERATOR)" -DFALATRO_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j2 --target fuzzers
	ctest --test-dir build-fuzz -L fuzz --output-on-failure

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done; true

# A local IRC server (ngircd) with two scripted people chatting in #falatro, and the client set up for
# it in build/demo; your own settings are not touched. Everything started stops when the client ends.
demo: build
	@tools/demo/run_demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) build-fuzz
