// Writes the synthetic ring lap and its metadata document into a directory, for the MoTeC
// export opened by hand in MoTeC i2:  motec_example_lap DIR  ->  DIR/<stem>.bin and DIR/<stem>.json
#include <fstream>
#include <iostream>

#include "lap_format/lap_file_writer.hpp"
#include "synthetic_lap.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: motec_example_lap DIR\n";
        return 1;
    }
    const std::filesystem::path dir(argv[1]);
    const std::string stem = "synthetic-corvel-test-ring-standin-gt3-lap3-1768500252";
    const motec_test::SyntheticLap lap = motec_test::make_synthetic_lap();
    if (auto written = corvel::write_lap_telemetry(dir / (stem + ".bin"), lap.samples); !written) {
        std::cerr << "Error: " << written.error().display() << "\n";
        return 1;
    }
    std::ofstream json(dir / (stem + ".json"), std::ios::binary);
    json << motec_test::synthetic_metadata_json(lap, stem + ".bin");
    if (!json.flush()) {
        std::cerr << "Error: cannot write " << stem << ".json\n";
        return 1;
    }
    std::cout << "Wrote " << lap.samples.size() << " samples to " << (dir / (stem + ".bin")).string() << "\n";
    return 0;
}
