# Two entry points: `make run` builds the program and runs it on the bundled
# instance; `make test` builds everything and runs every test.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# The instance folder `make run` copies into build/run (make run INSTANCE=...).
INSTANCE ?= examples/cmt1

.PHONY: run plot test sanitize-test bench deps

deps:
	@tools/ensure-deps.sh

run: deps
	cmake -S . -B build/app -DCMAKE_BUILD_TYPE=Release -DCVRP_TESTS=OFF -DCVRP_BENCH=OFF
	cmake --build build/app -j $(JOBS) --target cvrp
	mkdir -p build/run
	cp "$(INSTANCE)/distancia.dat" "$(INSTANCE)/demanda.dat" build/run/
	if [ -f "$(INSTANCE)/coordenadas.dat" ]; then cp "$(INSTANCE)/coordenadas.dat" build/run/; \
	else rm -f build/run/coordenadas.dat; fi
	cd build/run && ../app/cvrp

# The pictures, the check of the report and solucao.sol for the last run
# (make plot BEST=524.61, or BEST=path/to/file.sol, adds the best known cost).
plot: deps
	cmake -S . -B build/app -DCMAKE_BUILD_TYPE=Release -DCVRP_TESTS=OFF -DCVRP_BENCH=OFF
	cmake --build build/app -j $(JOBS) --target cvrpview
	build/app/cvrpview $(if $(BEST),--best "$(BEST)") build/run

# An optimised build, as the program ships, that stops at any signed overflow.
test: deps
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Release -DCVRP_OVERFLOW_CHECK=ON
	cmake --build build/test -j $(JOBS)
	cd build/test && ctest --output-on-failure -j $(JOBS)

# The same tests on a debug build under AddressSanitizer and UBSan.
sanitize-test: deps
	cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCVRP_SANITIZE=ON -DCVRP_BENCH=OFF
	cmake --build build/sanitize -j $(JOBS)
	cd build/sanitize && ctest --output-on-failure -j $(JOBS)

# CVRPLIB instances for the table of speeds by size: the repository's copy of
# the X set, or another folder holding these names (make bench CVRPLIB=path/to/folder).
# The folder reaches the shell as an environment variable, never as text of
# the recipe.
CVRPLIB ?= instances/X
export CVRPLIB
BENCH_SIZES = X-n101-k25 X-n502-k39 X-n1001-k43

# Search speed of the incremental against the whole-Route evaluation, on a
# plain Release build; then the cached searches' speed by instance size.
bench: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DCVRP_TESTS=OFF
	cmake --build build/bench -j $(JOBS) --target search_speed evaluation_bench
	build/bench/bench/search_speed examples/cmt1
	@set --; for name in $(BENCH_SIZES); do set -- "$$@" "$$CVRPLIB/$$name.vrp"; done; \
	if ls "$$@" > /dev/null 2>&1; then \
	  echo "build/bench/bench/search_speed --table --round examples/cmt1 $$*"; \
	  build/bench/bench/search_speed --table --round examples/cmt1 "$$@"; \
	  echo "build/bench/bench/search_speed --kinds --round $$*"; \
	  build/bench/bench/search_speed --kinds --round "$$@"; \
	else echo "note: $(BENCH_SIZES) not all found in $$CVRPLIB: the table by size is skipped"; fi
	build/bench/bench/evaluation_bench
