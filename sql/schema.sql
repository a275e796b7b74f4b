-- The motelog database: one row per mote reading. Loading it again adds what is missing
-- and changes nothing that exists: no row, no table, no account's password.
CREATE DATABASE IF NOT EXISTS marrowby;

-- logid is assigned by the server: every insert sends 0, which takes the next id.
-- timestamp is the server's clock at insert time (now() in the inserting session's time
-- zone), stored without a zone.
CREATE TABLE IF NOT EXISTS marrowby.test_data (
    logid      BIGINT UNSIGNED NOT NULL AUTO_INCREMENT,
    moteid     INT NOT NULL,
    timestamp  DATETIME NOT NULL,
    data_type  INT NOT NULL,
    data_value DOUBLE NOT NULL,
    PRIMARY KEY (logid),
    KEY mote_time (moteid, timestamp)
) ENGINE = InnoDB;

-- One row per base station that stores through a spool: `stored` is the position in the
-- station's journal up to which its packets are in test_data. The logger moves it in the
-- same transaction as each batch's rows, and only from the batch's first position, so a
-- batch sent again after a failure lands once or not at all.
CREATE TABLE IF NOT EXISTS marrowby.motelog_station (
    station VARCHAR(64) NOT NULL,
    stored  BIGINT UNSIGNED NOT NULL,
    updated TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP,
    PRIMARY KEY (station)
) ENGINE = InnoDB;

-- The logger's account may add rows to test_data and do nothing else with it, and only
-- from this machine; it keeps its station's row in motelog_station.
-- Its first password is the one the logger assembles at start-up; an operator's own,
-- set later with ALTER USER, survives a reload. A logger on another machine gets an
-- account of its own with the operator's password (see the README).
CREATE USER IF NOT EXISTS 'quillon'@'localhost' IDENTIFIED BY 'Kv3pZ';
GRANT INSERT ON marrowby.test_data TO 'quillon'@'localhost';
GRANT SELECT, INSERT, UPDATE ON marrowby.motelog_station TO 'quillon'@'localhost';

-- Reading the data: grant this role to a person's account (see the README). It carries
-- no password and cannot log in by itself.
CREATE ROLE IF NOT EXISTS motelog_reader;
GRANT SELECT ON marrowby.test_data TO motelog_reader;
