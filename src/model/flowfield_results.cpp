#include <cstdint>
#include <string>

#include "flowfield.hpp"
#include "mesh.hpp"
#include "output_file.hpp"
#include "stop.hpp"
#include "strings.hpp"
#include "wendrath.hpp"

namespace quorl {

namespace {

void write_matrix(wendrath::matfile& file, const char* name, const array2d& a) {
    file.write_real64(name, a.data(), {std::int64_t{a.size1()}, std::int64_t{a.size2()}});
}

}  // namespace

void save_flowfield(const std::string& filename) {
    const mesh_state& msh = mesh();
    const flowfield_state& ff = flowfield();
    const int nq = msh.number_of_quasinormals;
    const int ns = msh.number_of_streamlines;

    // Derived quantities first, so that a gas-model error leaves no file behind.
    array2d Wt(nq, ns), h(nq, ns), pTot(nq, ns), Ttot(nq, ns), HtotRel(nq, ns), pTotRel(nq, ns);
    for (int i = 1; i <= nq; ++i) {
        for (int j = 1; j <= ns; ++j) {
            const double htot = ff.htot(i, j);
            const double s = ff.s(i, j);
            const double cm = ff.cm(i, j);
            const double ct = ff.ct(i, j);
            Wt(i, j) = wt(i, j);
            h(i, j) = htot - (cm * cm + ct * ct) * 0.5;
            pTot(i, j) = ff.gas->pressure_hs(htot, s);
            Ttot(i, j) = ff.gas->temperature_ps(pTot(i, j), s);
            HtotRel(i, j) = Wt(i, j) * Wt(i, j) * 0.5 + (htot - ct * ct * 0.5);
            pTotRel(i, j) = ff.gas->pressure_hs(HtotRel(i, j), s);
        }
    }

    // Written aside and renamed over the file when complete: a failure keeps the previous file.
    // The messages name the file as the writer would (trailing blanks dropped).
    const std::string name(trim_right(filename));
    const std::string cannot_open = "matfile: cannot open file '" + name + "' for writing";
    const std::string cannot_write = "matfile: cannot write file '" + name + "'";
    output_file target;
    if (!target.open(name)) file_error(cannot_open);
    bool opened = false;
    try {
        wendrath::matfile file;
        const char* const description = "Quorl simulation results";
        if (target.descriptor() >= 0) file.open_matfile_descriptor(target.descriptor(), name, "w", description);
        else file.open_matfile(target.path(), "w", description);
        opened = true;
        write_matrix(file, "z", msh.z);
        write_matrix(file, "r", msh.r);
        write_matrix(file, "p", ff.p);
        write_matrix(file, "pTot", pTot);
        write_matrix(file, "pTotRel", pTotRel);
        write_matrix(file, "T", ff.t);
        write_matrix(file, "Ttot", Ttot);
        write_matrix(file, "rho", ff.rho);
        write_matrix(file, "S", ff.s);
        write_matrix(file, "h", h);
        write_matrix(file, "Htot", ff.htot);
        write_matrix(file, "HtotRel", HtotRel);
        write_matrix(file, "Cm", ff.cm);
        write_matrix(file, "Ct", ff.ct);
        write_matrix(file, "Wt", Wt);
        // Closed here rather than by the destructor, so that a failed final write is reported.
        file.close_matfile();
    } catch (const wendrath::matfile_error& e) {
        if (e.file_error()) file_error(opened ? cannot_write : cannot_open);
        fatal(e.what());
    }
    if (!target.commit()) file_error(cannot_write);
}

}  // namespace quorl
