// game show|export|import and game liveries export|import: the game data of a
// game folder, moved by the same import and export as the windows use.
#include "cli/Commands.h"

#include "app/ExportImport.h"
#include "app/Items.h"
#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "cli/GameJson.h"
#include "cli/Pictures.h"
#include "cli/Terminal.h"
#include "formats/CodePage.h"
#include "formats/GP4TEX.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Points.h"
#include "game/GP4Teams.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iterator>
#include <memory>
#include <set>

namespace paddock::cli {

namespace {

using json = nlohmann::ordered_json;

struct GameFolder {
    std::string folder;
    std::string exe = DefaultExeName;
};

void addGameFolder(CLI::App* command, GameFolder& game)
{
    command->add_option("game", game.folder, "The game folder, with GP4.EXE, F1GSTATE.SAV and cars.wad")->required();
    command->add_option("--exe", game.exe, "The name of the game's executable")->capture_default_str();
}

// The game folder's files become the settings' game paths, once the folder
// has passed the installation check.
void openGame(const GameFolder& game)
{
    const std::string problem = GamePathProblem(game.folder, game.exe);
    if (!problem.empty())
        throw CommandFailed(game.folder + ": " + problem);
    SetGamePaths(game.folder, game.exe);
}

// What may be read before anything is written: a problem met there (a livery
// that cannot be read) ends the command with nothing written.
void requireNoErrors()
{
    if (Terminal().errorCount() > 0)
        throw CommandFailed("Nothing was written");
}

// The windows' load from the game and save into it, for the given items.
void importItems(const std::vector<std::uint16_t>& items)
{
    SelectItems(items);
    ImportSelected();
}

void exportItems(const std::vector<std::uint16_t>& items)
{
    SelectItems(items);
    ExportSelected();
}

std::vector<std::uint16_t> allTeamsAndPoints()
{
    return {ItemRange, ItemTeamFirst, ItemTeamFirst + TeamCount - 1, ItemPoints};
}

std::string teamList(const std::vector<int>& teams)
{
    if (teams.size() == TeamCount)
        return "all " + std::to_string(TeamCount) + " teams";
    std::string text;
    for (std::size_t i = 0; i < teams.size(); ++i)
        text += (i == 0 ? "" : i + 1 == teams.size() ? " and " : ", ") + std::to_string(teams[i] + 1);
    return (teams.size() == 1 ? "team " : "teams ") + text;
}

// ---- show, export -------------------------------------------------------------

struct ShowJob {
    GameFolder game;
    bool json = false;
};

std::string figures(const char* what, int qualifying, int race)
{
    return std::string(what) + " qualifying " + std::to_string(qualifying) + ", race " + std::to_string(race);
}

void show(const ShowJob& job)
{
    openGame(job.game);
    importItems(allTeamsAndPoints());
    requireNoErrors();
    if (job.json) {
        PrintOut(GameToJson(Teams, PointsTable).dump(2));
        return;
    }
    std::string out;
    for (std::size_t i = 0; i < Teams.size(); ++i) {
        const TTeamRecord& t = Teams[i];
        out += "Team " + std::to_string(i + 1) + ": " + GameTextToUtf8(FieldText(t.TeamName)) + ", engine " +
               GameTextToUtf8(FieldText(t.EngineName)) + "\n  " + figures("power", t.PowerQuali, t.PowerRace) +
               "; failure probability " + std::to_string(t.FailureProb) + "\n";
        for (std::size_t d = 0; d < t.Drivers.size(); ++d) {
            const TDriverRecord& r = t.Drivers[d];
            out += "  Driver " + std::to_string(d + 1) + ": " + GameTextToUtf8(FieldText(r.DriverName)) +
                   ", car number " + std::to_string(r.CarNumber) + "; " +
                   figures("ability", r.AbilityQualy, r.AbilityRace) + "; " +
                   figures("range", r.RangeQuali, r.RangeRace) + "\n";
        }
    }
    out += "Points for positions 1 to 22:";
    for (const std::uint8_t p : PointsTable)
        out += " " + std::to_string(p);
    PrintOut(out);
}

struct ExportJob {
    GameFolder game;
    std::string output;
    bool force = false;
};

void exportJson(const ExportJob& job)
{
    if (!job.output.empty())
        RefuseExisting(job.output, job.force);
    openGame(job.game);
    importItems(allTeamsAndPoints());
    requireNoErrors();
    const std::string text = GameToJson(Teams, PointsTable).dump(2) + "\n";
    if (job.output.empty()) {
        std::fputs(text.c_str(), stdout);
        return;
    }
    EnsureFolderOf(job.output);
    TSafeFileStream file(job.output);
    file.WriteBuffer(text.data(), text.size());
    file.Commit();
    Terminal().note("Wrote " + job.output);
}

// ---- import -------------------------------------------------------------------

struct ImportJob {
    GameFolder game;
    std::string input;
};

void importJson(const ImportJob& job)
{
    TMemoryStream file;
    file.LoadFromFile(job.input);
    json document;
    try {
        document = json::parse(file.Memory(), file.Memory() + file.Size());
    } catch (const json::parse_error& e) {
        throw CommandFailed(job.input + " is not a JSON document: " + e.what());
    }
    const TGameChanges changes = ReadGameChanges(document);
    const std::vector<std::uint16_t> items = changes.Items();
    if (items.empty()) {
        Terminal().note(job.input + " names no team and no points table; nothing was written");
        return;
    }
    openGame(job.game);
    importItems(items);
    requireNoErrors();
    // All the changes are checked before any reaches the tables.
    TTeams teams = Teams;
    TPointsTable points = PointsTable;
    ApplyGameChanges(changes, teams, points);
    Teams = teams;
    PointsTable = points;
    exportItems(items);

    std::vector<int> written;
    for (const TTeamChange& t : changes.Teams)
        written.push_back(t.Team);
    std::sort(written.begin(), written.end());
    std::string what = written.empty() ? "" : teamList(written);
    if (changes.Points)
        what += std::string(what.empty() ? "" : " and ") + "the points table";
    Terminal().note("Wrote " + what + " into " + job.game.folder);
}

// ---- liveries -------------------------------------------------------------------

struct LiveriesJob {
    GameFolder game;
    std::string folder;
    std::vector<int> teams; // 1..11; none for all
    std::string format = "png";
    bool force = false;
};

std::vector<int> chosenTeams(const LiveriesJob& job)
{
    std::set<int> teams;
    for (const int t : job.teams)
        teams.insert(t - 1);
    if (teams.empty())
        for (int t = 0; t < TeamCount; ++t)
            teams.insert(t);
    return {teams.begin(), teams.end()};
}

// The name a team's livery pictures start with: the team's name, as the car
// textures window proposes it, with what no file name may hold made "_".
std::string liveryBase(int team)
{
    std::string name = GameTextToUtf8(FieldText(Teams[static_cast<std::size_t>(team)].TeamName));
    for (char& c : name)
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    return name;
}

std::string liveryName(int team, int kind, const std::string& extension)
{
    return liveryBase(team) + " - " + std::to_string(kind + 1) + extension;
}

// Two chosen teams whose pictures would have the same names cannot be told
// apart.
void refuseSameNames(const std::vector<int>& teams)
{
    for (std::size_t i = 0; i < teams.size(); ++i)
        for (std::size_t j = i + 1; j < teams.size(); ++j)
            if (SameText(liveryBase(teams[i]), liveryBase(teams[j])))
                throw CommandFailed("Teams " + std::to_string(teams[i] + 1) + " and " + std::to_string(teams[j] + 1) +
                                    " are both called \"" + liveryBase(teams[i]) +
                                    "\", so their pictures would have the same names; choose one with --team");
}

std::vector<std::uint16_t> teamItems(const std::vector<int>& teams, int first)
{
    std::vector<std::uint16_t> items;
    for (const int t : teams)
        items.push_back(static_cast<std::uint16_t>(first + t));
    return items;
}

void exportLiveries(const LiveriesJob& job)
{
    const std::vector<int> teams = chosenTeams(job);
    openGame(job.game);
    std::vector<std::uint16_t> items = teamItems(teams, ItemTeamFirst);
    const std::vector<std::uint16_t> liveries = teamItems(teams, ItemCarTexturesFirst);
    items.insert(items.end(), liveries.begin(), liveries.end());
    importItems(items);
    requireNoErrors();
    refuseSameNames(teams);

    const std::string extension = "." + job.format;
    std::vector<std::tuple<int, int, std::string>> files;
    for (const int t : teams)
        for (int k = 0; k < CarTextureKinds; ++k)
            files.emplace_back(t, k, AddTrailingBackslash(job.folder) + liveryName(t, k, extension));
    for (const auto& [t, k, path] : files)
        RefuseExisting(path, job.force);
    if (!ForceDirectories(job.folder))
        throw CommandFailed("Cannot create the folder " + job.folder);
    int written = 0;
    for (const auto& [t, k, path] : files)
        written += ExportPicture(*CarTextureTable[static_cast<std::size_t>(t)][static_cast<std::size_t>(k)], 0, path);
    Terminal().note("Wrote " + std::to_string(written) + " pictures of " + teamList(teams) + " to " + job.folder);
}

void importLiveries(const LiveriesJob& job)
{
    if (!DirectoryExists(job.folder))
        throw CommandFailed("The folder " + job.folder + " does not exist");
    const std::vector<int> chosen = chosenTeams(job);
    openGame(job.game);
    importItems(teamItems(chosen, ItemTeamFirst));
    requireNoErrors();
    refuseSameNames(chosen);

    // The pictures there are, by team and kind.
    struct Picture {
        int team, kind;
        std::string path;
    };
    std::vector<Picture> pictures;
    std::vector<int> teams;
    std::set<std::string> used;
    for (const int t : chosen) {
        for (int k = 0; k < CarTextureKinds; ++k) {
            std::vector<std::string> found;
            for (const char* extension : {".png", ".tga"})
                if (const std::string path = FindFileNoCase(job.folder, liveryName(t, k, extension)); FileExists(path))
                    found.push_back(path);
            if (found.size() > 1)
                throw CommandFailed("Both " + found[0] + " and " + found[1] + " are there; keep one of them");
            if (found.empty())
                continue;
            pictures.push_back({t, k, found[0]});
            used.insert(found[0]);
            if (teams.empty() || teams.back() != t)
                teams.push_back(t);
        }
    }
    for (const std::string& file : ListFiles(job.folder, "*.*", false, false))
        if (PictureKindOf(file) && !used.count(file))
            Terminal().message("Not a livery of the chosen teams, left out: " + file);
    if (pictures.empty())
        throw CommandFailed("No livery pictures in " + job.folder + "; they are named after the teams, as \"" +
                            liveryName(chosen.front(), 0, ".png") + "\"");

    const std::vector<std::uint16_t> items = teamItems(teams, ItemCarTexturesFirst);
    importItems(items);
    requireNoErrors();
    // As the car textures window: texture 0 from the picture, the smaller
    // ones rebuilt from it. Every picture is tried; the game is written only
    // when all were taken.
    bool all = true;
    for (const Picture& p : pictures) {
        TTEXFile& tex = *CarTextureTable[static_cast<std::size_t>(p.team)][static_cast<std::size_t>(p.kind)];
        all = ImportPicture(tex, 0, p.path) && tex.Downsample(2) && all;
    }
    if (!all)
        throw CommandFailed("Nothing was written");

    // As the windows' save, in two steps: the containers are staged, and
    // only when every one of them was is the game's archive rebuilt.
    SelectItems(items);
    const int errorsBefore = Terminal().errorCount();
    {
        const auto progress = Interaction().showProgress({"Exporting...", static_cast<int>(items.size()), false, 300, 80});
        SaveCarTextures(SelectedItems, [&progress](const std::string& item) { progress->step(item); });
    }
    if (Terminal().errorCount() > errorsBefore) {
        DeleteTree(CarsStagingFolder());
        throw CommandFailed("Nothing was written");
    }
    const std::vector<TAppliedArchive> applied = ApplyStagedArchives();

    // A picture went in when its member and the low-resolution one made from
    // it did.
    const std::string archive = CarsArchivePath();
    const TWADRebuildReport* report = nullptr;
    for (const TAppliedArchive& a : applied)
        if (SameText(ExtractFileName(a.Archive), "cars.wad"))
            report = &a.Report;
    if (report)
        for (const std::string& file : report->Unused)
            Terminal().message("Not a member of " + archive + ", left out: " + file);
    std::size_t written = 0;
    for (const Picture& p : pictures) {
        const std::string high = CarTextureName(p.team, p.kind, true);
        const std::string low = CarTextureName(p.team, p.kind, false);
        if (report && report->Took(high) && report->Took(low))
            ++written;
        else
            Terminal().error("Not written into " + archive + ": " + p.path + " (" + high + " and " + low + ")");
    }
    if (written > 0)
        Terminal().note("Wrote " + std::to_string(written) + (written == 1 ? " picture" : " pictures") + " of " +
                        teamList(teams) + " into " + archive);
}

// ---- restore ---------------------------------------------------------------------

struct RestoreJob {
    GameFolder game;
};

void restore(const RestoreJob& job)
{
    if (!DirectoryExists(job.game.folder))
        throw CommandFailed("The folder " + job.game.folder + " does not exist");
    // No installation check: a game that no longer passes it is what the
    // backups are for.
    SetGamePaths(job.game.folder, job.game.exe);
    const std::vector<TGameBackup> restored = RestoreGameBackups();
    if (restored.empty())
        throw CommandFailed("There are no backups in " + job.game.folder + "; nothing was restored");
    for (const TGameBackup& b : restored)
        Terminal().note("Restored " + b.File + " from " + b.Backup);
}

} // namespace

void AddGameCommands(CLI::App& app, Job& job)
{
    CLI::App* game = app.add_subcommand(
        "game", "The teams, drivers, figures, car numbers, points table and liveries of a GP4 v1.0 game folder");
    game->require_subcommand(1);
    {
        auto j = std::make_shared<ShowJob>();
        CLI::App* c = game->add_subcommand("show", "Show the teams, their drivers and the points table");
        addGameFolder(c, j->game);
        c->add_flag("--json", j->json, "Print them as JSON, as game export does");
        c->callback([j, &job] { job = [j] { show(*j); }; });
    }
    {
        auto j = std::make_shared<ExportJob>();
        CLI::App* c = game->add_subcommand("export", "Write the teams, their drivers and the points table as JSON");
        addGameFolder(c, j->game);
        c->add_option("-o,--output", j->output, "The JSON file to write (standard output without it)");
        c->add_flag("--force", j->force, "Replace the JSON file if it exists");
        c->callback([j, &job] { job = [j] { exportJson(*j); }; });
    }
    {
        auto j = std::make_shared<ImportJob>();
        CLI::App* c = game->add_subcommand(
            "import", "Write the teams and the points table that a JSON file names into the game, as the windows' "
                      "save does; what the file leaves out stays as it is");
        addGameFolder(c, j->game);
        c->add_option("json", j->input, "The JSON file, as game export writes it")->required();
        c->callback([j, &job] { job = [j] { importJson(*j); }; });
    }

    {
        auto j = std::make_shared<RestoreJob>();
        CLI::App* c = game->add_subcommand(
            "restore", "Put the game's files back as their backups hold them (GP4.EXE.BAK, F1GSTATE.SAV.BAK and "
                       "cars.wad.BAK, kept by the first save of a run), all of them or none; the backups stay");
        addGameFolder(c, j->game);
        c->callback([j, &job] { job = [j] { restore(*j); }; });
    }

    CLI::App* liveries =
        game->add_subcommand("liveries", "The car liveries in cars.wad, as pictures named after the teams");
    liveries->require_subcommand(1);
    const auto addLiveryOptions = [](CLI::App* c, LiveriesJob& j, const char* folderHelp) {
        addGameFolder(c, j.game);
        c->add_option("folder", j.folder, folderHelp)->required();
        c->add_option("-t,--team", j.teams, "Only this team, 1 to 11; may be given more than once")
            ->check(CLI::Range(1, TeamCount))
            ->expected(1)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };
    {
        auto j = std::make_shared<LiveriesJob>();
        CLI::App* c = liveries->add_subcommand(
            "export", "Write the three car textures of every team (or the chosen ones) as pictures named "
                      "\"TEAM - 1\", \"TEAM - 2\" (the liveries) and \"TEAM - 3\" (the numbers)");
        addLiveryOptions(c, *j, "The folder to write the pictures to");
        c->add_option("--format", j->format, "png or tga")->check(CLI::IsMember({"png", "tga"}))->capture_default_str();
        c->add_flag("--force", j->force, "Replace pictures that already exist");
        c->callback([j, &job] { job = [j] { exportLiveries(*j); }; });
    }
    {
        auto j = std::make_shared<LiveriesJob>();
        CLI::App* c = liveries->add_subcommand(
            "import", "Put the pictures named after the teams (as liveries export writes them, PNG or TGA) into the "
                      "game's cars.wad, rebuilding it after a backup cars.wad.BAK, as the windows' save does");
        addLiveryOptions(c, *j, "The folder holding the pictures");
        c->callback([j, &job] { job = [j] { importLiveries(*j); }; });
    }
}

} // namespace paddock::cli
