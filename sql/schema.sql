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

-- The logger's account may add rows and do nothing else, and only from this machine.
-- Its first password is the one the logger assembles at start-up; an operator's own,
-- set later with ALTER USER, survives a reload. A logger on another machine gets an
-- account of its own with the operator's password (see the README).
CREATE USER IF NOT EXISTS 'quillon'@'localhost' IDENTIFIED BY 'Kv3pZ';
GRANT INSERT ON marrowby.test_data TO 'quillon'@'localhost';

-- Reading the data: grant this role to a person's account (see the README). It carries
-- no password and cannot log in by itself.
CREATE ROLE IF NOT EXISTS motelog_reader;
GRANT SELECT ON marrowby.test_data TO motelog_reader;
