#include "statustext.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "conversions.h"

namespace {

std::string seconds(std::int64_t us) {
    char text[40];
    std::snprintf(text, sizeof text, "%" PRId64 ".%06" PRId64, us / 1000000, us % 1000000);
    return text;
}

std::string ageseconds(const StatusFigures& figures) {
    if (figures.backlog.oldestus == 0) return "0.0";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", (figures.takenus - figures.backlog.oldestus) / 1e6);
    return text;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// A reading as a person reads it: "temperature 68.72 F", or "type 4 258".
std::string readingwords(int data_type, double value) {
    switch (data_type) {
        case DataTypeLight:
            return "light " + number(value) + " lux";
        case DataTypeTemperature:
            return "temperature " + number(value) + " F";
        case DataTypeHumidity:
            return "humidity " + number(value) + " %";
        default:
            return "type " + std::to_string(data_type) + " " + number(value);
    }
}

std::string misseswords(const Misses& m) {
    return std::to_string(m.notrecognized) + " not recognized, " + std::to_string(m.sizeincorrect) +
           " size incorrect, " + std::to_string(m.queries) + " queries, " +
           std::to_string(m.spoolfull) + " spool full";
}

Misses since(const Misses& before, const Misses& now) {
    return {now.notrecognized - before.notrecognized, now.sizeincorrect - before.sizeincorrect,
            now.queries - before.queries, now.spoolfull - before.spoolfull};
}

// One metric family: its help, its type and its samples, "name{labels} value".
class Metrics {
public:
    void family(const std::string& name, const char* type, const std::string& help) {
        text_ << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
    }
    void sample(const std::string& name, const std::string& value, const std::string& labels = "") {
        text_ << name << (labels.empty() ? "" : "{" + labels + "}") << ' ' << value << '\n';
    }
    void one(const std::string& name, const char* type, const std::string& help,
             const std::string& value) {
        family(name, type, help);
        sample(name, value);
    }
    std::string str() const { return text_.str(); }

private:
    std::ostringstream text_;
};

std::string mote(int id) { return "mote=\"" + std::to_string(id) + "\""; }

// The per-mote families: when each was heard and its last value of each kind.
void motemetrics(Metrics& m, const StatusFigures& f) {
    m.family("motelog_mote_last_heard_timestamp_seconds", "gauge",
             "When a packet of the mote last came (Unix time).");
    for (const auto& [id, seen] : f.motes)
        m.sample("motelog_mote_last_heard_timestamp_seconds", seconds(seen.heardus), mote(id));
    const struct {
        int type;
        const char* name;
        const char* help;
    } kinds[] = {{DataTypeLight, "motelog_mote_light_lux", "The mote's last light reading."},
                 {DataTypeTemperature, "motelog_mote_temperature_fahrenheit",
                  "The mote's last temperature reading."},
                 {DataTypeHumidity, "motelog_mote_humidity_percent",
                  "The mote's last relative humidity reading."}};
    for (const auto& kind : kinds) {
        m.family(kind.name, "gauge", kind.help);
        for (const auto& [id, seen] : f.motes) {
            std::map<int, double> last(seen.readings.begin(), seen.readings.end());
            if (last.count(kind.type)) m.sample(kind.name, number(last[kind.type]), mote(id));
        }
    }
    m.family("motelog_mote_reading_raw", "gauge",
             "The mote's last raw word of a type without a conversion.");
    for (const auto& [id, seen] : f.motes) {
        std::map<int, double> last;
        for (const auto& [type, value] : seen.readings)
            if (type < DataTypeLight || type > DataTypeHumidity) last[type] = value;
        for (const auto& [type, value] : last)
            m.sample("motelog_mote_reading_raw", number(value),
                     mote(id) + ",data_type=\"" + std::to_string(type) + "\"");
    }
}

}  // namespace

std::string localtimetext(std::int64_t us) {
    if (us == 0) return "never";
    const std::time_t when = static_cast<std::time_t>(us / 1000000);
    std::tm local{};
    localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local);
    return text;
}

std::string statustext(const StatusFigures& f, pid_t pid) {
    std::ostringstream text;
    text << "pid: " << pid << '\n'
         << "updated: " << seconds(f.takenus) << " (" << localtimetext(f.takenus) << ")\n"
         << "state: " << (f.stopped ? "stopped" : "running") << '\n'
         << "started: " << localtimetext(f.startedus) << '\n'
         << "port: " << f.port << (f.portopen ? ", open" : ", not open: " + f.portproblem) << '\n'
         << "port outages: " << f.portoutages << '\n'
         << "last packet: " << localtimetext(f.lastpacketus) << '\n'
         << "packets read: " << f.packetsread << '\n'
         << "packets stored: " << f.packetsstored << '\n'
         << "readings stored: " << f.readingsstored << '\n'
         << "missed: " << misseswords(f.misses) << '\n'
         << "mode: " << (f.spooling ? "spool" : "direct") << '\n'
         << "backlog: " << f.backlog.packets << " packets, the oldest waiting for " << ageseconds(f)
         << " s\n"
         << "database: " << (f.databasedown ? "down" : "up") << ", " << f.databaseoutages
         << " outages\n"
         << "last database error: "
         << (f.lasterrorus == 0 ? "none" : localtimetext(f.lasterrorus) + ": " + f.lasterror)
         << '\n'
         << "stuck: " << (f.stuck.empty() ? "nothing" : f.stuck) << '\n';
    for (const auto& [id, seen] : f.motes) {
        text << "mote " << id << ": heard " << localtimetext(seen.heardus);
        for (const auto& [type, value] : seen.readings) text << ", " << readingwords(type, value);
        text << '\n';
    }
    return text.str();
}

std::string metricstext(const StatusFigures& f) {
    Metrics m;
    m.one("motelog_up", "gauge", "1 while motelog runs; 0 in what it leaves when it stops.",
          f.stopped ? "0" : "1");
    m.one("motelog_start_time_seconds", "gauge", "When motelog started (Unix time).",
          seconds(f.startedus));
    m.one("motelog_port_open", "gauge", "1 while the serial port is open.", f.portopen ? "1" : "0");
    m.one("motelog_port_outages_total", "counter", "Times the serial port failed.",
          std::to_string(f.portoutages));
    m.one("motelog_last_packet_timestamp_seconds", "gauge",
          "When the last packet came (Unix time; 0: none yet).", seconds(f.lastpacketus));
    m.one("motelog_packets_read_total", "counter", "Whole packets taken off the line.",
          std::to_string(f.packetsread));
    m.one("motelog_packets_stored_total", "counter", "Packets whose readings are stored.",
          std::to_string(f.packetsstored));
    m.one("motelog_readings_stored_total", "counter", "Readings stored as rows.",
          std::to_string(f.readingsstored));
    m.family("motelog_packets_missed_total", "counter", "Packets not stored, by why.");
    m.sample("motelog_packets_missed_total", std::to_string(f.misses.notrecognized),
             "kind=\"not_recognized\"");
    m.sample("motelog_packets_missed_total", std::to_string(f.misses.sizeincorrect),
             "kind=\"size_incorrect\"");
    m.sample("motelog_packets_missed_total", std::to_string(f.misses.queries), "kind=\"query\"");
    m.sample("motelog_packets_missed_total", std::to_string(f.misses.spoolfull),
             "kind=\"spool_full\"");
    m.one("motelog_backlog_packets", "gauge", "Packets waiting in the spool for the database.",
          std::to_string(f.backlog.packets));
    m.one("motelog_backlog_oldest_age_seconds", "gauge",
          "How long the oldest waiting packet has waited.", ageseconds(f));
    m.one("motelog_database_up", "gauge", "0 during a database outage.",
          f.databasedown ? "0" : "1");
    m.one("motelog_database_outages_total", "counter", "Database outages begun.",
          std::to_string(f.databaseoutages));
    m.one("motelog_last_database_error_timestamp_seconds", "gauge",
          "When the last database error came (Unix time; 0: none).", seconds(f.lasterrorus));
    m.one("motelog_stuck", "gauge",
          "1 while the reader loop or the store has not come back in time.",
          f.stuck.empty() ? "0" : "1");
    motemetrics(m, f);
    return m.str();
}

std::string summaryline(const StatusFigures& before, const StatusFigures& now) {
    char span[32];
    std::snprintf(span, sizeof span, "%.0f", (now.takenus - before.takenus) / 1e6);
    return std::string("motelog summary of ") + span +
           " s: " + std::to_string(now.packetsstored - before.packetsstored) + " packets and " +
           std::to_string(now.readingsstored - before.readingsstored) +
           " readings stored; missed " + misseswords(since(before.misses, now.misses)) +
           "; backlog " + std::to_string(now.backlog.packets) +
           " packets, the oldest waiting for " + ageseconds(now) +
           " s; outages: " + std::to_string(now.databaseoutages - before.databaseoutages) +
           " of the database (" + (now.databasedown ? "down" : "up") + "), " +
           std::to_string(now.portoutages - before.portoutages) + " of the port (" +
           (now.portopen ? "open" : "not open") + ")\n";
}
